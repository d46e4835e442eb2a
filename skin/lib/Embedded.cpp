#include "Embedded.h"

// The library file is pulled in by the assembler. CMake makes this file depend on the
// built library, so a changed library rebuilds this object and the program with it.
// KVSKIN_LIBRARY_FILE is the library's fixed output path.
asm(R"(
    .section .rodata.kvskin_library, "a", @progbits
    .balign 64
    .globl kvskin_library_begin
    .hidden kvskin_library_begin
kvskin_library_begin:
    .incbin ")" KVSKIN_LIBRARY_FILE R"("
    .globl kvskin_library_end
    .hidden kvskin_library_end
kvskin_library_end:
    .previous
)");

extern "C" const unsigned char kvskin_library_begin[];
extern "C" const unsigned char kvskin_library_end[];

namespace kvskin {

std::span<const unsigned char> LibraryBlock()
{
    return {kvskin_library_begin, kvskin_library_end};
}

std::span<const unsigned char> CatalogueSkin(int n)
{
    if (n < 1 || n > kCatalogueSize)
        return {};
    return kGeneratedCatalogue[n - 1];
}

} // namespace kvskin
