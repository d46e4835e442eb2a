// kvskin_make: builds the skin catalogue at build time.
//
//   kvskin_make <skins.tsv> <out.cpp> [<dir>]
//
// Reads the catalogue table (data/skins.tsv), derives every palette role, the style
// sheet and the aero colours of each skin, checks that body text stays legible, and
// writes the skins as constant byte arrays into <out.cpp>. With <dir>, each skin is also
// written there as skinNN.kvskin for inspection.

#include "SkinFormat.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace kvskin;

namespace {

constexpr int kSkinCount = 33;
constexpr double kMinimumContrast = 4.5;
constexpr char kFontFamily[] = "WenQuanYi Zen Hei";
constexpr Rgba kWhite = MakeRgba(255, 255, 255);
constexpr Rgba kBlack = MakeRgba(0, 0, 0);

struct Row
{
    int number = 0;
    std::string name;
    Rgba window = 0, base = 0, text = 0, accent = 0, button = 0;
    int radius = 0;
    int fontPixels = 0;
};

// Shapes and states the palette alone cannot express. Colours come in as ${role}.
constexpr char kStyleSheet[] = R"(QPushButton {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${light}, stop:1 ${button});
    border: 1px solid ${border};
    border-radius: ${radius}px;
    padding: 2px 8px;
}
QPushButton:hover {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${light}, stop:1 ${midlight});
    border-color: ${accent};
}
QPushButton:focus { border-color: ${accent}; }
QPushButton:pressed { background: ${midlight}; padding-top: 3px; padding-bottom: 1px; }
QPushButton:disabled { background: ${window}; border-color: ${mid}; }
QLineEdit {
    background: ${base};
    border: 1px solid ${border};
    border-radius: ${smallRadius}px;
    padding: 0px 3px;
    selection-background-color: ${accent};
    selection-color: ${highlightedText};
}
QLineEdit:focus { border-color: ${accent}; }
QLineEdit:disabled { background: ${window}; }
QGroupBox {
    border: 1px solid ${border};
    border-radius: ${radius}px;
    margin: 0px;
    padding-top: 1.2em;
}
QGroupBox::title { subcontrol-origin: padding; subcontrol-position: top left; left: 6px; top: 2px; }
QAbstractItemView {
    background: ${base};
    alternate-background-color: ${alternateBase};
    border: 1px solid ${border};
    selection-background-color: ${accent};
    selection-color: ${highlightedText};
}
QHeaderView::section {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${light}, stop:1 ${button});
    border: 0px;
    border-right: 1px solid ${mid};
    border-bottom: 1px solid ${mid};
    padding: 2px 4px;
}
QMenu { background: ${base}; border: 1px solid ${border}; }
QMenu::item { padding: 3px 18px; }
QMenu::item:selected { background: ${accent}; color: ${highlightedText}; }
QToolTip { background: ${toolTipBase}; color: ${toolTipText}; border: 1px solid ${border}; }
)";

std::optional<Rgba> ParseColour(const std::string& s)
{
    if (s.size() != 7 || s[0] != '#')
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 1; i < 7; ++i) {
        const char c = s[i];
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + v;
    }
    return 0xff000000u | value;
}

std::string Css(Rgba c)
{
    char buffer[32];
    if (Alpha(c) == 255)
        std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", Red(c), Green(c), Blue(c));
    else
        std::snprintf(buffer, sizeof buffer, "rgba(%d, %d, %d, %d)", Red(c), Green(c), Blue(c),
                      Alpha(c));
    return buffer;
}

std::string Expand(std::string text, const std::map<std::string, std::string>& values)
{
    for (const auto& [key, value] : values) {
        const std::string token = "${" + key + "}";
        for (std::size_t at = text.find(token); at != std::string::npos;
             at = text.find(token, at + value.size()))
            text.replace(at, token.size(), value);
    }
    return text;
}

// Moves a colour towards the text colour until it reads on every background given.
Rgba Legible(Rgba colour, Rgba text, std::initializer_list<Rgba> backgrounds)
{
    for (double t = 0; t <= 1.0; t += 0.05) {
        const Rgba c = Mix(colour, text, t);
        bool ok = true;
        for (Rgba b : backgrounds)
            ok = ok && ContrastRatio(c, b) >= kMinimumContrast;
        if (ok)
            return c;
    }
    return text;
}

Skin Build(const Row& row)
{
    const bool dark = Luminance(row.window) < 0.2;
    Skin skin;
    skin.name = row.name;
    skin.fontFamily = kFontFamily;
    skin.fontPixelSize = row.fontPixels;
    skin.fontWeight = 400;

    const Rgba highlightedText =
        ContrastRatio(kWhite, row.accent) >= ContrastRatio(kBlack, row.accent) ? kWhite : kBlack;
    const Rgba light = dark ? Mix(row.button, kWhite, 0.10) : Mix(row.button, kWhite, 0.6);
    const Rgba midlight = Mix(row.button, light, 0.5);
    const Rgba mid = dark ? Mix(row.button, kWhite, 0.25) : Mix(row.button, kBlack, 0.2);
    const Rgba link = Legible(row.accent, row.text, {row.base, row.window});
    const Rgba alternateBase =
        row.base == row.window ? Mix(row.base, row.text, 0.04) : Mix(row.base, row.window, 0.5);
    const Rgba disabledText = Mix(row.text, row.window, 0.55);

    auto set = [&skin](Role role, Rgba c, Group g = Group::All) {
        skin.palette.push_back({g, role, c});
    };
    set(Role::Window, row.window);
    set(Role::WindowText, row.text);
    set(Role::Base, row.base);
    set(Role::AlternateBase, alternateBase);
    set(Role::Text, row.text);
    set(Role::Button, row.button);
    set(Role::ButtonText, row.text);
    set(Role::Highlight, row.accent);
    set(Role::HighlightedText, highlightedText);
    set(Role::BrightText, dark ? kBlack : kWhite);
    set(Role::Link, link);
    set(Role::LinkVisited, Legible(Mix(link, row.text, 0.35), row.text, {row.base, row.window}));
    set(Role::ToolTipBase, row.base);
    set(Role::ToolTipText, row.text);
    set(Role::PlaceholderText, Mix(row.text, row.base, 0.45));
    set(Role::Light, light);
    set(Role::Midlight, midlight);
    set(Role::Mid, mid);
    set(Role::Dark, Mix(row.button, kBlack, dark ? 0.35 : 0.45));
    set(Role::Shadow, Mix(row.button, kBlack, 0.75));
    for (Role r : {Role::WindowText, Role::Text, Role::ButtonText})
        set(r, disabledText, Group::Disabled);
    set(Role::Base, row.window, Group::Disabled);
    set(Role::Highlight, Mix(row.accent, row.window, 0.5), Group::Disabled);

    Aero aero;
    if (dark) {
        aero.windowTop = Mix(row.window, kWhite, 0.10);
        aero.windowBottom = Mix(row.window, row.accent, 0.14);
        aero.panelTop = MakeRgba(255, 255, 255, 28);
        aero.panelBottom = MakeRgba(255, 255, 255, 8);
        aero.panelBorder = Mix(row.window, row.accent, 0.45);
    } else {
        aero.windowTop = Mix(row.window, kWhite, 0.7);
        aero.windowBottom = Mix(row.window, row.accent, 0.12);
        aero.panelTop = MakeRgba(255, 255, 255, 140);
        aero.panelBottom = MakeRgba(255, 255, 255, 40);
        aero.panelBorder = Mix(row.window, row.accent, 0.35);
    }
    aero.windowMiddle = row.window;
    skin.aero = aero;

    skin.styleSheet =
        Expand(kStyleSheet, {{"window", Css(row.window)},
                             {"base", Css(row.base)},
                             {"alternateBase", Css(alternateBase)},
                             {"button", Css(row.button)},
                             {"light", Css(light)},
                             {"midlight", Css(midlight)},
                             {"mid", Css(mid)},
                             {"border", Css(Mix(row.button, row.text, dark ? 0.35 : 0.3))},
                             {"accent", Css(row.accent)},
                             {"highlightedText", Css(highlightedText)},
                             {"toolTipBase", Css(row.base)},
                             {"toolTipText", Css(row.text)},
                             {"radius", std::to_string(row.radius)},
                             {"smallRadius", std::to_string(row.radius / 2)}});
    return skin;
}

// Every pair of body text and the background it is drawn on.
bool CheckLegible(const Skin& skin, int number)
{
    struct Pair
    {
        const char* what;
        Rgba text, background;
    };
    auto c = [&skin](Role r) { return *skin.Colour(r); };
    std::vector<Pair> pairs = {
        {"window text", c(Role::WindowText), c(Role::Window)},
        {"text", c(Role::Text), c(Role::Base)},
        {"button text", c(Role::ButtonText), c(Role::Button)},
        {"button text (light)", c(Role::ButtonText), c(Role::Light)},
        {"button text (midlight)", c(Role::ButtonText), c(Role::Midlight)},
        {"selection", c(Role::HighlightedText), c(Role::Highlight)},
        {"tool tip", c(Role::ToolTipText), c(Role::ToolTipBase)},
        {"link", c(Role::Link), c(Role::Base)},
        {"link on window", c(Role::Link), c(Role::Window)},
    };
    const Aero& a = *skin.aero;
    for (Rgba w : {a.windowTop, a.windowMiddle, a.windowBottom}) {
        pairs.push_back({"aero window", c(Role::WindowText), w});
        for (Rgba p : {a.panelTop, a.panelBottom})
            pairs.push_back({"aero panel", c(Role::WindowText), Composite(p, w)});
    }
    bool ok = true;
    for (const auto& p : pairs) {
        const double ratio = ContrastRatio(p.text, p.background);
        if (ratio < kMinimumContrast) {
            std::cerr << "skin " << number << " (" << skin.name << "): " << p.what << " contrast "
                      << ratio << " is below " << kMinimumContrast << "\n";
            ok = false;
        }
    }
    return ok;
}

bool ReadTable(const char* path, std::vector<Row>& rows)
{
    std::ifstream in(path);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Row row;
        std::string window, base, text, accent, button;
        fields >> row.number >> row.name >> window >> base >> text >> accent >> button >>
            row.radius >> row.fontPixels;
        const auto colours = {ParseColour(window), ParseColour(base), ParseColour(text),
                              ParseColour(accent), ParseColour(button)};
        bool coloursOk = true;
        for (const auto& c : colours)
            coloursOk = coloursOk && c.has_value();
        if (!fields || !coloursOk || row.radius < 0 || row.radius > 12 || row.fontPixels < 9 ||
            row.fontPixels > 20) {
            std::cerr << path << ":" << lineNumber << ": malformed skin line\n";
            return false;
        }
        auto it = colours.begin();
        row.window = **it++;
        row.base = **it++;
        row.text = **it++;
        row.accent = **it++;
        row.button = **it++;
        if (row.number != int(rows.size()) + 1) {
            std::cerr << path << ":" << lineNumber << ": expected skin " << rows.size() + 1 << "\n";
            return false;
        }
        rows.push_back(row);
    }
    if (rows.size() != kSkinCount) {
        std::cerr << path << ": " << rows.size() << " skins, expected " << kSkinCount << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: kvskin_make <skins.tsv> <out.cpp> [<dir>]\n";
        return 2;
    }
    std::vector<Row> rows;
    if (!ReadTable(argv[1], rows))
        return 1;

    std::ostringstream out;
    out << "// Generated by kvskin_make from data/skins.tsv. Do not edit.\n"
        << "#include \"skin/lib/Embedded.h\"\n\nnamespace kvskin {\nnamespace {\n\n";
    bool ok = true;
    for (const Row& row : rows) {
        const Skin skin = Build(row);
        ok = CheckLegible(skin, row.number) && ok;
        const auto bytes = WriteSkin(skin);
        if (!ParseSkin(bytes)) {
            std::cerr << "skin " << row.number << " does not read back\n";
            return 1;
        }
        out << "// " << row.number << " " << row.name << "\nalignas(8) const unsigned char kSkin"
            << row.number << "[] = {";
        for (std::size_t i = 0; i < bytes.size(); ++i)
            out << (i % 16 == 0 ? "\n    " : " ") << int(bytes[i]) << ",";
        out << "\n};\n\n";
        if (argc == 4) {
            char name[32];
            std::snprintf(name, sizeof name, "/skin%02d.kvskin", row.number);
            std::ofstream file(std::string(argv[3]) + name, std::ios::binary);
            file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
    }
    if (!ok)
        return 1;
    out << "} // namespace\n\nconst std::span<const unsigned char> kGeneratedCatalogue[] = {\n";
    for (const Row& row : rows)
        out << "    kSkin" << row.number << ",\n";
    out << "};\n\n} // namespace kvskin\n";

    std::ofstream file(argv[2], std::ios::binary);
    file << out.str();
    if (!file) {
        std::cerr << "cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
