# make run   - install what is missing, build the program, start it
# make demo  - the program with a pseudo-terminal for its first port, showing what it sends
# make test  - install what is missing, build everything, run every test
# make install / make uninstall - the program under PREFIX (default ~/.local)
# make bench - build and run the benchmarks
# make fuzz  - build and run the fuzzers for a bounded time
# make screenshot - make the README's picture of a run again

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
PACKAGES   := cmake make g++ qt6-base-dev qt6-serialport-dev libxcb1-dev libgtest-dev xvfb xauth xdotool valgrind fonts-droid-fallback
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZERS      := description val format fields script
PREFIX       ?= $(HOME)/.local

.PHONY: all deps build program run demo install uninstall test test-sanitize bench fuzz fuzz-deps screenshot clean

all: build

# Installs those of the given Debian packages that are not installed yet.
define install_missing
	@missing=""; for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORV_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The program and the example descriptions beside it; the tests wait for make test.
program: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target zorv

run: program
	./$(BUILD)/zorv

demo: program
	cmake --build $(BUILD) -j $(JOBS) --target zorv_relay
	tools/zorv_demo.sh ./$(BUILD)/tools/zorv_relay ./$(BUILD)/zorv

# A `zorv` in PREFIX/bin that is not the link an install made stops it, in
# one line, before anything is put in place.
install: program
	@refusal=$$(cmake "-DPREFIX=$(PREFIX)" -P cmake/InstallCheck.cmake) || exit 1; \
	    if [ -n "$$refusal" ]; then echo "$$refusal" >&2; exit 1; fi
	cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	cmake "-DPREFIX=$(PREFIX)" -DEXAMPLES=examples -P cmake/Uninstall.cmake

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize

# The same tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZORV_SANITIZE=ON -DZORV_WERROR=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target bench_all
	./$(BUILD)/bench/zorv_bench

# The real window on the offscreen platform, an example run under way.
screenshot: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target zorv_screenshot
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/tools/zorv_screenshot docs/screenshot.png

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

# Each fuzzer runs FUZZ_SECONDS from a fresh copy of its seeds, one after the
# other; a crash, leak, sanitizer report or broken invariant leaves its input
# in $(FUZZ_BUILD)/artifacts/<name>/ and fails the target once all have run.
fuzz: deps fuzz-deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DZORV_FUZZ=ON -DZORV_WERROR=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@failed=""; for f in $(FUZZERS); do \
	    corpus=$(FUZZ_BUILD)/corpus/$$f; artifacts=$(FUZZ_BUILD)/artifacts/$$f; \
	    rm -rf $$corpus $$artifacts && mkdir -p $$corpus $$artifacts && cp fuzz/corpus/$$f/* $$corpus/ || exit 1; \
	    echo "== fuzz_$$f: $(FUZZ_SECONDS) s"; \
	    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	        ./$(FUZZ_BUILD)/fuzz/fuzz_$$f -max_total_time=$(FUZZ_SECONDS) -timeout=30 -detect_leaks=1 \
	        -print_final_stats=1 -artifact_prefix=$$artifacts/ $$corpus \
	        || failed="$$failed fuzz_$$f"; \
	done; \
	if [ -n "$$failed" ]; then echo "Fuzzing found problems in:$$failed (inputs in $(FUZZ_BUILD)/artifacts/)"; exit 1; fi; \
	echo "Fuzzing found nothing."

# Only builds of this checkout, everything in them but the descriptions a
# user added or edited in a build's "ZORV dep files"; those and their folder
# stay. Anything else named as a build is refused, and then nothing goes.
clean:
	@tools/zorv_clean.sh "$(CURDIR)" "$(BUILD)" "$(SAN_BUILD)" "$(FUZZ_BUILD)"
