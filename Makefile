# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run every test
# make bench - build and run the benchmarks
# make fuzz  - build and run the fuzzers for a bounded time

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
PACKAGES   := cmake make g++ qt6-base-dev qt6-serialport-dev libgtest-dev xvfb xauth xdotool valgrind
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test test-sanitize bench fuzz clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/zorv

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize

# The same tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZORV_SANITIZE=ON -DZORV_WERROR=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target bench_all
	./$(BUILD)/bench/zorv_bench

fuzz: deps
	$(MAKE) -C fuzz run

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
