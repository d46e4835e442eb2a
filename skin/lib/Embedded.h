#pragma once

// What the program carries of the skin library: the built libkvskin.so as one block of
// bytes, and the catalogue of skins generated from data/skins.tsv.

#include <span>

namespace kvskin {

inline constexpr int kCatalogueSize = 33;

// The bytes of libkvskin.so as built with the program.
std::span<const unsigned char> LibraryBlock();

// The bytes of catalogue skin n (1 to kCatalogueSize); empty for any other n.
std::span<const unsigned char> CatalogueSkin(int n);

// Defined in the generated catalogue source, skin 1 first.
extern const std::span<const unsigned char> kGeneratedCatalogue[kCatalogueSize];

} // namespace kvskin
