#include "SkinLibrary.h"

#include "app/Dialogs.h"
#include "app/Toolkit.h"
#include "skin/lib/Embedded.h"
#include "skin/lib/kvskin.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

static_assert(kSkinCount == kvskin::kCatalogueSize);

namespace {

// One library function as bound: the address found and the library it came from.
// Both stay valid until the process ends.
struct Binding
{
    const char* name;
    void* library = nullptr;
    void* address = nullptr;
};

Binding attachBinding{"kvskin_attach_res"};
Binding aeroBinding{"kvskin_set_aero"};
int lookups = 0;

// True for a file that claims to be a shared library of this machine's class but whose
// program headers or segments reach past its end (a truncated copy, say). The loader
// maps such a file and the process dies of SIGBUS instead of getting an error; anything
// else it refuses cleanly (not ELF, another class, a directory) or loads.
bool IsTruncatedLibrary(const QByteArray& path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    ElfW(Ehdr) header;
    bool truncated = false;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        pread(fd, header.e_ident, EI_NIDENT, 0) == EI_NIDENT &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
        header.e_ident[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) {
        const std::uint64_t size = std::uint64_t(status.st_size);
        auto within = [size](std::uint64_t offset, std::uint64_t length) {
            return offset <= size && length <= size - offset;
        };
        truncated = pread(fd, &header, sizeof header, 0) != ssize_t(sizeof header) ||
                    header.e_phentsize != sizeof(ElfW(Phdr)) ||
                    !within(header.e_phoff, std::uint64_t(header.e_phnum) * sizeof(ElfW(Phdr))) ||
                    (header.e_shoff != 0 &&
                     !within(header.e_shoff, std::uint64_t(header.e_shnum) * header.e_shentsize));
        for (int i = 0; !truncated && i < header.e_phnum; ++i) {
            ElfW(Phdr) segment;
            truncated =
                pread(fd, &segment, sizeof segment, off_t(header.e_phoff + i * sizeof segment)) !=
                    ssize_t(sizeof segment) ||
                ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC) &&
                 !within(segment.p_offset, segment.p_filesz));
        }
    }
    close(fd);
    return truncated;
}

void* LoadSkinLibrary()
{
    const QByteArray path = QFile::encodeName(SkinLibraryPath());
    if (!IsTruncatedLibrary(path))
        if (void* library = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL))
            return library;
    // The system's search (LD_LIBRARY_PATH, the program's run path $ORIGIN, the cache)
    // reaches the program's own directory too: a truncated library there is not handed
    // to the loader that way either.
    const QByteArray besideProgram =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                          QLatin1String(kSkinLibraryName));
    if (IsTruncatedLibrary(besideProgram))
        return nullptr;
    return dlopen(kSkinLibraryName, RTLD_NOW | RTLD_LOCAL);
}

// The function's address, bound on first use. A library that cannot be loaded or lacks
// the function ends the program through the error box. A library once loaded is never
// closed again, not even when the function is missing: the application's style may
// already run code from it, and the error box is drawn with that style.
void* Resolve(Binding& binding)
{
    if (binding.address)
        return binding.address;
    void* library = LoadSkinLibrary();
    void* address = nullptr;
    if (library) {
        ++lookups;
        address = dlsym(library, binding.name);
    }
    if (!address)
        ErrorBox(std::nullopt,
                 QStringLiteral("无法找到指定DLL库文件“%1”中的输出命令“%2”")
                     .arg(QLatin1String(kSkinLibraryName), QLatin1String(binding.name)));
    binding.library = library;
    binding.address = address;
    return address;
}

bool WriteAll(int fd, std::span<const unsigned char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.subspan(std::size_t(written));
    }
    return true;
}

} // namespace

// No check follows the calls below that a function consumed exactly the arguments it was
// given: on x86-64 System V, and on every other platform the program is built for, the
// caller reserves and releases the argument space itself, so a callee cannot leave the
// stack unbalanced and there is nothing to detect.

namespace {

// Creates the library under its name and writes it there; a part-written file is
// removed again, so that the next start writes it anew.
void WriteInPlace(const QByteArray& path)
{
    // O_EXCL: a file that appeared meanwhile is left alone as well.
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (fd < 0)
        return;
    const bool written = WriteAll(fd, SkinLibraryBlock());
    if (close(fd) != 0 || !written)
        unlink(path.constData());
}

} // namespace

void EnsureSkinLibrary()
{
    const QByteArray path = QFile::encodeName(SkinLibraryPath());
    // Anything of that name counts, a dangling symbolic link too; so does a name that
    // cannot be looked at (no search right): only a certain absence leads to writing.
    struct stat status;
    if (lstat(path.constData(), &status) == 0 || errno != ENOENT)
        return;

    // Written whole under a name of its own, then given the library's name with link(),
    // which never replaces a name that exists. A second copy of the program starting at
    // the same moment thus finds no library or the whole one, never a part-written file
    // (which it would refuse to load, stopping with the error box).
    QByteArray temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    const bool written = fchmod(fd, 0755) == 0 && WriteAll(fd, SkinLibraryBlock());
    if (close(fd) == 0 && written && link(temporary.constData(), path.constData()) != 0 &&
        errno != EEXIST) {
        // A file system without hard links: write it in place as the only way left.
        WriteInPlace(path);
    }
    unlink(temporary.constData());
    // The file would now be given the hidden attribute alone; POSIX has no such
    // attribute, so there is nothing to set.
}

void ApplySkin(int n)
{
    EnsureSkinLibrary();
    const std::span<const unsigned char> skin = CatalogueSkin(n);
    // A fresh private copy, released when the call has returned: the library copies
    // what it keeps.
    const std::vector<unsigned char> copy(skin.begin(), skin.end());
    const auto attach = reinterpret_cast<decltype(&kvskin_attach_res)>(Resolve(attachBinding));
    attach(copy.empty() ? nullptr : copy.data(), static_cast<int>(copy.size()), "", 0, 0, 0);
}

void EnableSkinAero()
{
    EnsureSkinLibrary();
    const auto setAero = reinterpret_cast<decltype(&kvskin_set_aero)>(Resolve(aeroBinding));
    setAero(1);
}

std::span<const unsigned char> SkinLibraryBlock()
{
    return kvskin::LibraryBlock();
}

std::span<const unsigned char> CatalogueSkin(int n)
{
    return kvskin::CatalogueSkin(n);
}

QString SkinLibraryPath()
{
    return RunDirectory() + QLatin1Char('/') + QLatin1String(kSkinLibraryName);
}

int SkinFunctionLookups()
{
    return lookups;
}

} // namespace kv
