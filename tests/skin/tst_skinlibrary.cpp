// libkvskin.so as built, loaded with dlopen into a real QApplication: what attaching a
// skin and the aero effect do to real widgets.

#include "skin/lib/Embedded.h"
#include "skin/lib/SkinFormat.h"
#include "skin/lib/kvskin.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include <dlfcn.h>

#include <memory>

using Bytes = std::vector<unsigned char>;
Q_DECLARE_METATYPE(Bytes)

namespace {

using AttachFn = decltype(&kvskin_attach_res);
using AeroFn = decltype(&kvskin_set_aero);
using LastFn = decltype(&kvskin_last_attach);

Bytes Catalogue(int n)
{
    const auto s = kvskin::CatalogueSkin(n);
    return {s.begin(), s.end()};
}

QColor Colour(const kvskin::Skin& skin, kvskin::Role role)
{
    return QColor::fromRgba(*skin.Colour(role));
}

bool Near(QColor a, QColor b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool Contains(const QImage& image, QColor colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                return true;
    return false;
}

// A window as the program builds them: some controls set their own colours with their
// own style sheets (the login window's white background, blue labels and grey boxes),
// one with its own palette, the rest take the skin.
struct Window
{
    std::unique_ptr<QWidget> top = std::make_unique<QWidget>();
    QFrame* panel = new QFrame(top.get());
    QLabel* label = new QLabel(QStringLiteral("WWWW"), top.get());
    QLabel* ownLabel = new QLabel(QStringLiteral("WWWW"), top.get());
    QLineEdit* ownBox = new QLineEdit(top.get());
    QFrame* ownPalette = new QFrame(top.get());
    QPushButton* button = new QPushButton(QStringLiteral("OK"), top.get());

    Window()
    {
        top->resize(300, 200);
        panel->setGeometry(150, 10, 140, 100);
        label->setGeometry(10, 10, 120, 40);
        ownLabel->setGeometry(10, 60, 120, 40);
        ownLabel->setStyleSheet(QStringLiteral("color: #0060c0;"));
        QFont big = ownLabel->font();
        big.setPixelSize(36);
        big.setBold(true);
        ownLabel->setFont(big);
        ownBox->setGeometry(10, 110, 120, 26);
        ownBox->setStyleSheet(QStringLiteral("background-color: #ececec;"));
        ownPalette->setGeometry(150, 120, 40, 40);
        QPalette p = ownPalette->palette();
        p.setColor(QPalette::Window, QColor(10, 200, 10));
        ownPalette->setPalette(p);
        ownPalette->setAutoFillBackground(true);
        button->setGeometry(200, 150, 64, 29);
        top->show();
    }
    QImage Shot() const { return top->grab().toImage(); }
};

} // namespace

class SkinLibraryTest : public QObject
{
    Q_OBJECT

    AttachFn attach_ = nullptr;
    AeroFn setAero_ = nullptr;
    LastFn last_ = nullptr;

    kvskin_attach_record Last()
    {
        kvskin_attach_record r{};
        last_(&r);
        return r;
    }
    int Attach(const Bytes& b)
    {
        return attach_(b.empty() ? nullptr : b.data(), int(b.size()), "", 0, 0, 0);
    }

private slots:
    void initTestCase()
    {
        // Never closed: Qt keeps the library's style object.
        void* library = dlopen(KVSKIN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        attach_ = reinterpret_cast<AttachFn>(dlsym(library, "kvskin_attach_res"));
        setAero_ = reinterpret_cast<AeroFn>(dlsym(library, "kvskin_set_aero"));
        last_ = reinterpret_cast<LastFn>(dlsym(library, "kvskin_last_attach"));
        QVERIFY(attach_ && setAero_ && last_);
    }

    // Runs first, while the application still has its default look.
    void refusedSkinLeavesTheDefaultLook_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("length");
        Bytes five = Catalogue(5);
        QTest::newRow("no data") << Bytes{} << 0;
        QTest::newRow("length 0") << five << 0;
        QTest::newRow("negative length") << five << -5;
        QTest::newRow("garbage") << Bytes(4096, 0x5a) << 4096;
        QTest::newRow("truncated") << five << int(five.size()) - 1;
        Bytes flipped = five;
        flipped[flipped.size() / 2] ^= 0x10;
        QTest::newRow("one bit flipped") << flipped << int(flipped.size());
    }
    void refusedSkinLeavesTheDefaultLook()
    {
        QFETCH(Bytes, bytes);
        QFETCH(int, length);
        const QPalette palette = QApplication::palette();
        const QStyle* style = QApplication::style();
        const QFont font = QApplication::font();
        QCOMPARE(setAero_(1), 1);
        QCOMPARE(attach_(bytes.empty() ? nullptr : bytes.data(), length, "", 0, 0, 0), 0);
        QCOMPARE(Last().accepted, 0);
        Window w;
        QVERIFY(!w.top->property("kvskinAero").isValid());
        QCOMPARE(QApplication::palette(), palette);
        QCOMPARE(QApplication::style(), style);
        QCOMPARE(QApplication::font(), font);
        QVERIFY(qApp->styleSheet().isEmpty());
        setAero_(0);
    }

    void attachRestylesPresentAndFutureWindows_data()
    {
        QTest::addColumn<int>("n");
        for (int n = 1; n <= kvskin::kCatalogueSize; ++n)
            QTest::addRow("skin %d", n) << n;
    }
    void attachRestylesPresentAndFutureWindows()
    {
        QFETCH(int, n);
        const kvskin::Skin skin = *kvskin::ParseSkin(kvskin::CatalogueSkin(n));
        Window before;
        {
            // The library keeps its own copy: the caller's buffer is gone afterwards.
            Bytes copy = Catalogue(n);
            QCOMPARE(Attach(copy), 1);
            std::fill(copy.begin(), copy.end(), 0);
        }
        const kvskin_attach_record r = Last();
        QCOMPARE(r.accepted, 1);
        QCOMPARE(r.length, int(kvskin::CatalogueSkin(n).size()));
        QCOMPARE(r.crc32, kvskin::Crc32(kvskin::CatalogueSkin(n)));

        Window after;
        for (QWidget* w :
             std::initializer_list<QWidget*>{before.label, after.label, after.button}) {
            QCOMPARE(w->palette().color(QPalette::WindowText),
                     Colour(skin, kvskin::Role::WindowText));
            QCOMPARE(w->font().pixelSize(), skin.fontPixelSize);
        }
        QCOMPARE(QApplication::palette().color(QPalette::Highlight),
                 Colour(skin, kvskin::Role::Highlight));
        QCOMPARE(qApp->styleSheet(), QString::fromStdString(skin.styleSheet));
        // Without aero the window is flat in the skin's window colour.
        for (const Window* w : {&before, &after}) {
            const QImage shot = w->Shot();
            QCOMPARE(shot.pixelColor(2, 2), Colour(skin, kvskin::Role::Window));
            QCOMPARE(shot.pixelColor(2, shot.height() - 3), Colour(skin, kvskin::Role::Window));
        }
    }

    void refusedSkinKeepsTheCurrentSkin()
    {
        QCOMPARE(Attach(Catalogue(5)), 1);
        const QPalette palette = QApplication::palette();
        const QString sheet = qApp->styleSheet();
        QCOMPARE(Attach(Bytes(100, 1)), 0);
        QCOMPARE(attach_(nullptr, 0, "", 0, 0, 0), 0);
        QCOMPARE(QApplication::palette(), palette);
        QCOMPARE(qApp->styleSheet(), sheet);
    }

    // Aero: windows get a vertical gradient and plain panels a glass overlay; labels,
    // boxes and buttons do not; switching it off brings the flat look back.
    void aeroGlassesWindowsAndPanels_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("aeroFirst");
        QTest::newRow("skin 5") << 5 << false;
        QTest::newRow("skin 23, aero before the skin") << 23 << true;
    }
    void aeroGlassesWindowsAndPanels()
    {
        QFETCH(int, n);
        QFETCH(bool, aeroFirst);
        const kvskin::Skin skin = *kvskin::ParseSkin(kvskin::CatalogueSkin(n));
        const kvskin::Aero& a = *skin.aero;
        Window w;
        if (aeroFirst) {
            setAero_(1);
            QCOMPARE(Attach(Catalogue(n)), 1);
        } else {
            QCOMPARE(Attach(Catalogue(n)), 1);
            setAero_(1);
        }
        QCOMPARE(w.top->property("kvskinAero").toString(), QStringLiteral("window"));
        QCOMPARE(w.panel->property("kvskinAero").toString(), QStringLiteral("panel"));
        for (QWidget* plain :
             std::initializer_list<QWidget*>{w.label, w.ownBox, w.button, w.ownPalette})
            QVERIFY(!plain->property("kvskinAero").isValid());

        QImage shot = w.Shot();
        const int h = shot.height();
        QVERIFY(Near(shot.pixelColor(2, 0), QColor::fromRgba(a.windowTop)));
        QVERIFY(Near(shot.pixelColor(2, h / 2), QColor::fromRgba(a.windowMiddle)));
        QVERIFY(Near(shot.pixelColor(2, h - 1), QColor::fromRgba(a.windowBottom)));
        // Inside the panel, near its top: the glass over the window gradient.
        const QPoint inPanel = w.panel->geometry().topLeft() + QPoint(70, 3);
        const QColor under = shot.pixelColor(2, inPanel.y());
        const QColor glass = shot.pixelColor(inPanel);
        QVERIFY(Near(glass, QColor::fromRgba(kvskin::Composite(a.panelTop, under.rgba())), 6));
        QVERIFY(glass != under);
        // A widget that fills its own background keeps it.
        QCOMPARE(shot.pixelColor(w.ownPalette->geometry().center()), QColor(10, 200, 10));

        setAero_(0);
        QVERIFY(!w.top->property("kvskinAero").isValid());
        shot = w.Shot();
        QCOMPARE(shot.pixelColor(2, 0), Colour(skin, kvskin::Role::Window));
        QCOMPARE(shot.pixelColor(2, h - 1), Colour(skin, kvskin::Role::Window));
    }

    // The colours a window sets for itself win over every skin, aero or not.
    void ownColoursSurviveTheSkin_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {5, 23, 33})
            QTest::addRow("skin %d", n) << n;
    }
    void ownColoursSurviveTheSkin()
    {
        QFETCH(int, n);
        Window w;
        w.top->setStyleSheet(QStringLiteral("background-color: #ffffff;"));
        QCOMPARE(Attach(Catalogue(n)), 1);
        setAero_(1);
        Window late; // created after the skin
        late.top->setStyleSheet(QStringLiteral("background-color: #ffffff;"));
        for (const Window* x : {&w, &late}) {
            const QImage shot = x->Shot();
            QCOMPARE(shot.pixelColor(2, 2), QColor(Qt::white));
            QCOMPARE(shot.pixelColor(2, shot.height() - 3), QColor(Qt::white));
            QCOMPARE(shot.pixelColor(x->ownBox->geometry().center() + QPoint(50, 0)),
                     QColor(236, 236, 236));
            QVERIFY(Contains(shot.copy(x->ownLabel->geometry()), QColor(0, 96, 192)));
            QCOMPARE(x->ownLabel->font().pixelSize(), 36);
        }
        setAero_(0);
    }
};

QTEST_MAIN(SkinLibraryTest)
#include "tst_skinlibrary.moc"
