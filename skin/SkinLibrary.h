#pragma once

// The program's side of the skin library: it carries libkvskin.so and the skin
// catalogue inside itself, writes the library into the run directory when missing,
// and calls the library's two functions through a binding made on first use.

#include <QString>

#include <span>

namespace kv {

inline constexpr char kSkinLibraryName[] = "libkvskin.so";
inline constexpr int kSkinCount = 33;

// Writes the carried library to RunDirectory() + "/libkvskin.so" when nothing of that
// name (file, directory, link) exists there. An existing one is never rewritten;
// a failure to write is ignored and leaves no partial file behind.
void EnsureSkinLibrary();

// Runs EnsureSkinLibrary, then hands a private copy of catalogue skin n (1 to 33) to
// kvskin_attach_res with "" and 0, 0, 0; for any other n a null address and length 0.
// Ends the program through the error box when the library or the function is missing.
void ApplySkin(int n);

// Runs EnsureSkinLibrary, then calls kvskin_set_aero(1); fails as ApplySkin does.
void EnableSkinAero();

// What the program carries, and what the binding did; for tests.
std::span<const unsigned char> SkinLibraryBlock();
std::span<const unsigned char> CatalogueSkin(int n); // empty outside 1..33
QString SkinLibraryPath();                           // RunDirectory() + "/libkvskin.so"
int SkinFunctionLookups();                           // dlsym calls made in this process

} // namespace kv
