#include "SkinFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace kvskin {

namespace {

using Tag = std::array<char, 4>;
constexpr Tag kTagName = {'N', 'A', 'M', 'E'};
constexpr Tag kTagPalette = {'P', 'A', 'L', 'T'};
constexpr Tag kTagFont = {'F', 'O', 'N', 'T'};
constexpr Tag kTagStyleSheet = {'Q', 'S', 'S', ' '};
constexpr Tag kTagAero = {'A', 'E', 'R', 'O'};

constexpr std::size_t kPaletteEntrySize = 6;
constexpr std::size_t kAeroSize = 24;
constexpr std::size_t kMaxFamilySize = 255;

std::uint16_t ReadU16(const unsigned char* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t ReadU32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void PutU16(std::vector<unsigned char>& out, std::uint16_t v)
{
    out.push_back(v & 0xff);
    out.push_back(v >> 8);
}
void PutU32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((v >> (8 * i)) & 0xff);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, and no NUL,
// so a text always survives the round trip into a C string or a QString unchanged.
bool IsCleanUtf8(std::span<const unsigned char> s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = s[i];
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        std::uint32_t cp;
        if ((c & 0xe0) == 0xc0) {
            extra = 1;
            cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            extra = 2;
            cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string AsString(std::span<const unsigned char> s)
{
    return std::string(s.begin(), s.end());
}

bool ParsePalette(std::span<const unsigned char> p, Skin& skin)
{
    if (p.size() < 2)
        return false;
    const std::size_t count = ReadU16(p.data());
    if (count == 0 || p.size() != 2 + count * kPaletteEntrySize)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* e = p.data() + 2 + i * kPaletteEntrySize;
        if (e[0] >= std::uint8_t(Group::Count) || e[1] >= std::uint8_t(Role::Count))
            return false;
        skin.palette.push_back({Group(e[0]), Role(e[1]), ReadU32(e + 2)});
    }
    return true;
}

bool ParseFont(std::span<const unsigned char> p, Skin& skin)
{
    if (p.size() < 5 || p.size() > 4 + kMaxFamilySize)
        return false;
    skin.fontPixelSize = ReadU16(p.data());
    skin.fontWeight = ReadU16(p.data() + 2);
    const auto family = p.subspan(4);
    if (skin.fontPixelSize < 4 || skin.fontPixelSize > 200 || skin.fontWeight < 100 ||
        skin.fontWeight > 900 || !IsCleanUtf8(family))
        return false;
    skin.fontFamily = AsString(family);
    return true;
}

bool ParseAero(std::span<const unsigned char> p, Skin& skin)
{
    if (p.size() != kAeroSize)
        return false;
    Aero a;
    Rgba* fields[] = {&a.windowTop, &a.windowMiddle, &a.windowBottom,
                      &a.panelTop,  &a.panelBottom,  &a.panelBorder};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = ReadU32(p.data() + 4 * i);
    skin.aero = a;
    return true;
}

void PutSection(std::vector<unsigned char>& out, const Tag& tag,
                const std::vector<unsigned char>& payload)
{
    out.insert(out.end(), tag.begin(), tag.end());
    PutU32(out, std::uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<unsigned char> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

double Channel(int v)
{
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace

std::optional<Rgba> Skin::Colour(Role role, Group group) const
{
    std::optional<Rgba> found;
    for (const auto& e : palette)
        if (e.role == role && (e.group == Group::All || e.group == group))
            found = e.colour;
    return found;
}

std::optional<Skin> ParseSkin(std::span<const unsigned char> bytes)
{
    if (bytes.data() == nullptr || bytes.size() < kHeaderSize + kTrailerSize ||
        bytes.size() > kMaxSkinSize)
        return std::nullopt;
    const unsigned char* d = bytes.data();
    if (!std::equal(kMagic.begin(), kMagic.end(), d) || ReadU16(d + 4) != kVersion)
        return std::nullopt;
    const std::size_t sectionCount = ReadU16(d + 6);
    if (ReadU32(d + 8) != bytes.size())
        return std::nullopt;
    const std::size_t body = bytes.size() - kTrailerSize;
    if (Crc32(bytes.first(body)) != ReadU32(d + body))
        return std::nullopt;

    Skin skin;
    std::set<std::string> seen;
    std::size_t at = kHeaderSize;
    for (std::size_t n = 0; n < sectionCount; ++n) {
        if (body - at < 8)
            return std::nullopt;
        Tag tag;
        std::memcpy(tag.data(), d + at, 4);
        const std::size_t length = ReadU32(d + at + 4);
        at += 8;
        if (length > body - at)
            return std::nullopt;
        const auto payload = bytes.subspan(at, length);
        at += length;
        if (!seen.insert(std::string(tag.begin(), tag.end())).second)
            return std::nullopt;
        bool ok = true;
        if (tag == kTagName) {
            ok = IsCleanUtf8(payload);
            skin.name = AsString(payload);
        } else if (tag == kTagPalette) {
            ok = ParsePalette(payload, skin);
        } else if (tag == kTagFont) {
            ok = ParseFont(payload, skin);
        } else if (tag == kTagStyleSheet) {
            ok = IsCleanUtf8(payload);
            skin.styleSheet = AsString(payload);
        } else if (tag == kTagAero) {
            ok = ParseAero(payload, skin);
        } // other tags belong to later revisions of version 1 and are skipped
        if (!ok)
            return std::nullopt;
    }
    if (at != body || skin.palette.empty())
        return std::nullopt;
    return skin;
}

std::vector<unsigned char> WriteSkin(const Skin& skin)
{
    std::vector<unsigned char> out(kMagic.begin(), kMagic.end());
    PutU16(out, kVersion);
    std::uint16_t sections = 2; // NAME, PALT
    if (!skin.fontFamily.empty())
        ++sections;
    if (!skin.styleSheet.empty())
        ++sections;
    if (skin.aero)
        ++sections;
    PutU16(out, sections);
    PutU32(out, 0); // total length, filled in below

    PutSection(out, kTagName, Bytes(skin.name));
    std::vector<unsigned char> palette;
    PutU16(palette, std::uint16_t(skin.palette.size()));
    for (const auto& e : skin.palette) {
        palette.push_back(std::uint8_t(e.group));
        palette.push_back(std::uint8_t(e.role));
        PutU32(palette, e.colour);
    }
    PutSection(out, kTagPalette, palette);
    if (!skin.fontFamily.empty()) {
        std::vector<unsigned char> font;
        PutU16(font, std::uint16_t(skin.fontPixelSize));
        PutU16(font, std::uint16_t(skin.fontWeight));
        const auto family = Bytes(skin.fontFamily);
        font.insert(font.end(), family.begin(), family.end());
        PutSection(out, kTagFont, font);
    }
    if (!skin.styleSheet.empty())
        PutSection(out, kTagStyleSheet, Bytes(skin.styleSheet));
    if (skin.aero) {
        std::vector<unsigned char> aero;
        for (Rgba c : {skin.aero->windowTop, skin.aero->windowMiddle, skin.aero->windowBottom,
                       skin.aero->panelTop, skin.aero->panelBottom, skin.aero->panelBorder})
            PutU32(aero, c);
        PutSection(out, kTagAero, aero);
    }

    const std::uint32_t total = std::uint32_t(out.size() + kTrailerSize);
    for (int i = 0; i < 4; ++i)
        out[8 + i] = (total >> (8 * i)) & 0xff;
    PutU32(out, Crc32(out));
    return out;
}

std::uint32_t Crc32(std::span<const unsigned char> bytes)
{
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

double Luminance(Rgba c)
{
    return 0.2126 * Channel(Red(c)) + 0.7152 * Channel(Green(c)) + 0.0722 * Channel(Blue(c));
}

double ContrastRatio(Rgba a, Rgba b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgba Composite(Rgba over, Rgba under)
{
    const double a = Alpha(over) / 255.0;
    auto ch = [a](int o, int u) { return int(std::lround(o * a + u * (1 - a))); };
    return MakeRgba(ch(Red(over), Red(under)), ch(Green(over), Green(under)),
                    ch(Blue(over), Blue(under)));
}

Rgba Mix(Rgba a, Rgba b, double t)
{
    auto ch = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return MakeRgba(ch(Red(a), Red(b)), ch(Green(a), Green(b)), ch(Blue(a), Blue(b)), Alpha(a));
}

} // namespace kvskin
