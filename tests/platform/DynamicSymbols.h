#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <elf.h>
#include <link.h>

// The names of every symbol that the shared object at `path` defines in its dynamic symbol table, which is
// all a program loading it can reach. The GNU linker also defines each version node's name there (an
// absolute symbol such as PINBANK_1). Empty when the file is not an ELF object of this machine's class.
inline std::set<std::string> DefinedDynamicSymbols(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
    const auto at = [&image](std::size_t offset, std::size_t size) {
        return offset <= image.size() && size <= image.size() - offset ? image.data() + offset : nullptr;
    };
    const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(at(0, sizeof(ElfW(Ehdr))));
    if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0
        || header->e_ident[EI_CLASS] != (__ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32))
        return {};
    const auto* sections = reinterpret_cast<const ElfW(Shdr)*>(
        at(header->e_shoff, std::size_t { header->e_shnum } * sizeof(ElfW(Shdr))));
    std::set<std::string> defined;
    for (unsigned i = 0; sections && i < header->e_shnum; ++i) {
        const ElfW(Shdr)& symbols = sections[i];
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_link >= header->e_shnum)
            continue;
        const ElfW(Shdr)& strings = sections[symbols.sh_link];
        const char* names = at(strings.sh_offset, strings.sh_size);
        const std::size_t count = symbols.sh_size / sizeof(ElfW(Sym));
        const auto* table
            = reinterpret_cast<const ElfW(Sym)*>(at(symbols.sh_offset, count * sizeof(ElfW(Sym))));
        for (std::size_t s = 1; names && table && s < count; ++s) {
            if (table[s].st_shndx != SHN_UNDEF && table[s].st_name < strings.sh_size)
                defined.insert(names + table[s].st_name);
        }
    }
    return defined;
}
