#pragma once

// The skin file format (see skin/FORMAT.md): reading, writing and the colour
// arithmetic the catalogue generator and the tests share. Plain C++, no Qt, so the
// generator builds without a toolkit and the library can never be confused by it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvskin {

inline constexpr std::array<unsigned char, 4> kMagic = {'K', 'v', 'S', 'k'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::size_t kTrailerSize = 4;
inline constexpr std::size_t kMaxSkinSize = 1 << 20;

// 0xAARRGGBB, like QRgb.
using Rgba = std::uint32_t;

constexpr Rgba MakeRgba(int r, int g, int b, int a = 255)
{
    return (Rgba(a & 0xff) << 24) | (Rgba(r & 0xff) << 16) | (Rgba(g & 0xff) << 8) | Rgba(b & 0xff);
}
constexpr int Red(Rgba c)
{
    return (c >> 16) & 0xff;
}
constexpr int Green(Rgba c)
{
    return (c >> 8) & 0xff;
}
constexpr int Blue(Rgba c)
{
    return c & 0xff;
}
constexpr int Alpha(Rgba c)
{
    return (c >> 24) & 0xff;
}

// Colour roles of the format. The numbers are the format's own and never change.
enum class Role : std::uint8_t
{
    Window = 0,
    WindowText,
    Base,
    AlternateBase,
    Text,
    Button,
    ButtonText,
    Highlight,
    HighlightedText,
    BrightText,
    Link,
    LinkVisited,
    ToolTipBase,
    ToolTipText,
    PlaceholderText,
    Light,
    Midlight,
    Mid,
    Dark,
    Shadow,
    Count
};

// Which colour group of the palette an entry sets.
enum class Group : std::uint8_t
{
    All = 0,
    Active,
    Inactive,
    Disabled,
    Count
};

struct PaletteEntry
{
    Group group = Group::All;
    Role role = Role::Window;
    Rgba colour = 0;
};

// The glass look used while the aero effect is on: a vertical gradient for window
// backgrounds and a translucent overlay with a border for panels.
struct Aero
{
    Rgba windowTop = 0, windowMiddle = 0, windowBottom = 0;
    Rgba panelTop = 0, panelBottom = 0, panelBorder = 0;
};

struct Skin
{
    std::string name;
    std::vector<PaletteEntry> palette; // applied in order
    std::string fontFamily;            // empty: keep the application font
    int fontPixelSize = 0;
    int fontWeight = 400;
    std::string styleSheet;
    std::optional<Aero> aero;

    // The colour an entry list gives a role in the active group, if any.
    std::optional<Rgba> Colour(Role role, Group group = Group::Active) const;
};

// Parses a whole skin file. Anything that is not exactly one well-formed skin of this
// format and version (wrong magic or version, length or checksum mismatch, a section
// running past the end, an invalid value, text that is not UTF-8) gives nullopt.
std::optional<Skin> ParseSkin(std::span<const unsigned char> bytes);

// Serialises a skin; ParseSkin(WriteSkin(s)) gives s back.
std::vector<unsigned char> WriteSkin(const Skin& skin);

// CRC-32 (IEEE 802.3, the zlib one).
std::uint32_t Crc32(std::span<const unsigned char> bytes);

// WCAG relative luminance and contrast ratio of two opaque colours.
double Luminance(Rgba colour);
double ContrastRatio(Rgba a, Rgba b);
// Source-over composition of a translucent colour on an opaque one.
Rgba Composite(Rgba over, Rgba under);
// Linear mix in sRGB: t = 0 gives a, t = 1 gives b (alpha of a kept).
Rgba Mix(Rgba a, Rgba b, double t);

} // namespace kvskin
