// The skin file format and the catalogue the program carries, without loading the
// library: every skin reads back, is legible and distinct, and damaged files are
// refused.

#include "skin/lib/Embedded.h"
#include "skin/lib/SkinFormat.h"

#include <QtTest>

#include <cstring>
#include <set>

using namespace kvskin;
using Bytes = std::vector<unsigned char>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes Catalogue(int n)
{
    const auto s = CatalogueSkin(n);
    return {s.begin(), s.end()};
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * i)) & 0xff;
}

// Fixes the length field and the checksum after an edit, so that only the edit itself
// can make the parser refuse the file.
Bytes Resealed(Bytes b)
{
    PutU32(b, 8, std::uint32_t(b.size()));
    PutU32(b, b.size() - 4, Crc32(std::span(b).first(b.size() - 4)));
    return b;
}

// The offset of a section's tag in a written skin.
std::size_t SectionAt(const Bytes& b, const char* tag)
{
    std::size_t at = kHeaderSize;
    while (at + 8 <= b.size() - 4) {
        if (std::memcmp(b.data() + at, tag, 4) == 0)
            return at;
        at += 8 + (b[at + 4] | (b[at + 5] << 8) | (b[at + 6] << 16) | (b[at + 7] << 24));
    }
    return 0;
}

Skin SmallSkin()
{
    Skin s;
    s.name = "测试";
    s.palette = {{Group::All, Role::Window, MakeRgba(1, 2, 3)},
                 {Group::Disabled, Role::Text, MakeRgba(4, 5, 6, 7)}};
    s.fontFamily = "WenQuanYi Zen Hei";
    s.fontPixelSize = 13;
    s.fontWeight = 700;
    s.styleSheet = "QPushButton { border: 1px solid #123456; }";
    s.aero = Aero{1, 2, 3, 4, 5, 6};
    return s;
}

} // namespace

class SkinFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void writtenSkinReadsBack()
    {
        const Skin in = SmallSkin();
        const auto parsed = ParseSkin(WriteSkin(in));
        QVERIFY(parsed);
        QCOMPARE(parsed->name, in.name);
        QCOMPARE(parsed->palette.size(), in.palette.size());
        for (std::size_t i = 0; i < in.palette.size(); ++i) {
            QCOMPARE(parsed->palette[i].group, in.palette[i].group);
            QCOMPARE(parsed->palette[i].role, in.palette[i].role);
            QCOMPARE(parsed->palette[i].colour, in.palette[i].colour);
        }
        QCOMPARE(parsed->fontFamily, in.fontFamily);
        QCOMPARE(parsed->fontPixelSize, in.fontPixelSize);
        QCOMPARE(parsed->fontWeight, in.fontWeight);
        QCOMPARE(parsed->styleSheet, in.styleSheet);
        QVERIFY(parsed->aero);
        QCOMPARE(parsed->aero->panelBorder, 6u);
        QCOMPARE(*parsed->Colour(Role::Text, Group::Disabled), MakeRgba(4, 5, 6, 7));
        QVERIFY(!parsed->Colour(Role::Text, Group::Active));

        // A section of a later revision is skipped.
        Bytes b = WriteSkin(in);
        const Bytes extra = {'X', 'T', 'R', 'A', 2, 0, 0, 0, 9, 9};
        b.insert(b.end() - 4, extra.begin(), extra.end());
        b[6] += 1; // section count
        QVERIFY(ParseSkin(Resealed(b)));
    }

    void damagedSkinIsRefused_data()
    {
        QTest::addColumn<Bytes>("bytes");
        const Bytes good = WriteSkin(SmallSkin());
        auto edited = [&good](auto edit) {
            Bytes b = good;
            edit(b);
            return b;
        };
        QTest::newRow("empty") << Bytes{};
        QTest::newRow("header only") << Bytes(good.begin(), good.begin() + 16);
        QTest::newRow("random") << Bytes(300, 0xa5);
        QTest::newRow("one byte appended") << edited([](Bytes& b) { b.push_back(0); });
        QTest::newRow("checksum") << edited([](Bytes& b) { b[20] ^= 1; });
        QTest::newRow("magic") << Resealed(edited([](Bytes& b) { b[0] = 'k'; }));
        QTest::newRow("version 2") << Resealed(edited([](Bytes& b) { b[4] = 2; }));
        QTest::newRow("length field") << edited([](Bytes& b) { PutU32(b, 8, b.size() - 1); });
        QTest::newRow("too many sections") << Resealed(edited([](Bytes& b) { b[6] += 1; }));
        QTest::newRow("too few sections") << Resealed(edited([](Bytes& b) { b[6] -= 1; }));
        QTest::newRow("section past the end") << Resealed(edited([](Bytes& b) {
            const std::size_t at = SectionAt(b, "QSS ");
            b[at + 4] += 200;
        }));
        QTest::newRow("duplicate section") << Resealed(edited([](Bytes& b) {
            const std::size_t at = SectionAt(b, "NAME");
            const Bytes name(b.begin() + at, b.begin() + at + 8 + (b[at + 4]));
            b.insert(b.end() - 4, name.begin(), name.end());
            b[6] += 1;
        }));
        QTest::newRow("unknown role") << Resealed(edited(
            [](Bytes& b) { b[SectionAt(b, "PALT") + 8 + 2 + 1] = std::uint8_t(Role::Count); }));
        QTest::newRow("unknown group") << Resealed(
            edited([](Bytes& b) { b[SectionAt(b, "PALT") + 8 + 2] = std::uint8_t(Group::Count); }));
        QTest::newRow("font size 0")
            << Resealed(edited([](Bytes& b) { b[SectionAt(b, "FONT") + 8] = 0; }));
        QTest::newRow("style sheet not UTF-8") << Resealed(edited([](Bytes& b) {
            b[SectionAt(b, "QSS ") + 8] = 0xc0; // overlong lead byte
        }));
        QTest::newRow("NUL in the name")
            << Resealed(edited([](Bytes& b) { b[SectionAt(b, "NAME") + 8] = 0; }));
        Skin noPalette = SmallSkin();
        noPalette.palette.clear();
        QTest::newRow("no palette") << WriteSkin(noPalette);
    }
    void damagedSkinIsRefused()
    {
        QFETCH(Bytes, bytes);
        QVERIFY(!ParseSkin(bytes));
    }

    void everyTruncationIsRefused()
    {
        const Bytes skin = Catalogue(5);
        QVERIFY(ParseSkin(skin));
        for (std::size_t n = 0; n < skin.size(); ++n)
            QVERIFY2(!ParseSkin(std::span(skin).first(n)), qPrintable(QString::number(n)));
    }

    void catalogueHoldsThirtyThreeSkins()
    {
        QCOMPARE(kCatalogueSize, 33);
        QVERIFY(CatalogueSkin(0).empty());
        QVERIFY(CatalogueSkin(34).empty());
        QVERIFY(CatalogueSkin(-1).empty());
        std::set<std::string> names;
        for (int n = 1; n <= kCatalogueSize; ++n) {
            const auto bytes = CatalogueSkin(n);
            QVERIFY(bytes.size() > 16);
            QVERIFY(std::equal(kMagic.begin(), kMagic.end(), bytes.begin()));
            const auto skin = ParseSkin(bytes);
            QVERIFY2(skin, qPrintable(QString::number(n)));
            QVERIFY(skin->aero);
            QVERIFY(!skin->styleSheet.empty());
            names.insert(skin->name);
        }
        QCOMPARE(int(names.size()), kCatalogueSize);
    }

    // WCAG AA for body text: every text colour against every background it is drawn
    // on, the aero gradient and glass panels included.
    void skinIsLegible_data()
    {
        QTest::addColumn<int>("n");
        for (int n = 1; n <= kCatalogueSize; ++n)
            QTest::addRow("skin %d", n) << n;
    }
    void skinIsLegible()
    {
        QFETCH(int, n);
        const Skin skin = *ParseSkin(CatalogueSkin(n));
        auto c = [&skin](Role r) { return *skin.Colour(r); };
        struct Pair
        {
            const char* what;
            Rgba text, background;
        };
        std::vector<Pair> pairs = {
            {"window text", c(Role::WindowText), c(Role::Window)},
            {"text", c(Role::Text), c(Role::Base)},
            {"button", c(Role::ButtonText), c(Role::Button)},
            {"button top", c(Role::ButtonText), c(Role::Light)},
            {"button hover", c(Role::ButtonText), c(Role::Midlight)},
            {"selection", c(Role::HighlightedText), c(Role::Highlight)},
            {"tool tip", c(Role::ToolTipText), c(Role::ToolTipBase)},
            {"link", c(Role::Link), c(Role::Base)},
            {"link on window", c(Role::Link), c(Role::Window)},
            {"alternate row", c(Role::Text), c(Role::AlternateBase)},
        };
        const Aero& a = *skin.aero;
        for (Rgba w : {a.windowTop, a.windowMiddle, a.windowBottom}) {
            pairs.push_back({"aero window", c(Role::WindowText), w});
            for (Rgba p : {a.panelTop, a.panelBottom})
                pairs.push_back({"aero panel", c(Role::WindowText), Composite(p, w)});
        }
        for (const Pair& p : pairs)
            QVERIFY2(ContrastRatio(p.text, p.background) >= 4.5,
                     qPrintable(QStringLiteral("%1: %2")
                                    .arg(QLatin1String(p.what))
                                    .arg(ContrastRatio(p.text, p.background))));
    }

    // Visibly distinct: no two skins share their look (window, button and accent
    // colours all close together).
    void skinsAreDistinct()
    {
        auto distance = [](Rgba x, Rgba y) {
            return std::abs(Red(x) - Red(y)) + std::abs(Green(x) - Green(y)) +
                   std::abs(Blue(x) - Blue(y));
        };
        std::vector<Skin> skins;
        for (int n = 1; n <= kCatalogueSize; ++n)
            skins.push_back(*ParseSkin(CatalogueSkin(n)));
        for (std::size_t i = 0; i < skins.size(); ++i)
            for (std::size_t j = i + 1; j < skins.size(); ++j) {
                int d = 0;
                for (Role r : {Role::Window, Role::Button, Role::Highlight})
                    d += distance(*skins[i].Colour(r), *skins[j].Colour(r));
                QVERIFY2(
                    d >= 40,
                    qPrintable(QStringLiteral("skins %1 and %2 look alike").arg(i + 1).arg(j + 1)));
            }
    }

    // Skin 5 dresses the login window: light and calm, and its blue labels
    // (RGB 0, 96, 192) stay legible on the skin's own window colour too.
    void skinFiveSuitsTheLoginWindow()
    {
        const Skin skin = *ParseSkin(CatalogueSkin(5));
        const Rgba window = *skin.Colour(Role::Window);
        QVERIFY(Luminance(window) > 0.85);
        QVERIFY(ContrastRatio(MakeRgba(0, 96, 192), window) >= 4.5);
        for (Rgba w : {skin.aero->windowTop, skin.aero->windowBottom})
            QVERIFY(ContrastRatio(MakeRgba(0, 96, 192), w) >= 4.5);
        const Rgba accent = *skin.Colour(Role::Highlight);
        QVERIFY(Blue(accent) > Red(accent) && Blue(accent) > Green(accent));
    }
};

QTEST_APPLESS_MAIN(SkinFormatTest)
#include "tst_skinformat.moc"
