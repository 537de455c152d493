#include "app/FileTypes.h"

namespace zorv::FileTypes {

const FileType pTextPlain{
    QStringLiteral("text/plain"),
    QStringLiteral(".asc;.ascii;.bas;.c;.class;.cp;.cpp;.h;.hp;.hpp;.i3;.java;.m2;.m3;.mak;.text;.txt"),
    QStringLiteral("TEXT"),
    QStringLiteral("????"),
};

void _Initialize()
{
    registerFileType(pTextPlain);
}

} // namespace zorv::FileTypes
