// libkvskin.so: applies a skin to the running QApplication.
//
// A skin sets the application palette, the application font and an application style
// sheet over a Fusion-based style. Everything goes through application-wide settings,
// so windows created later get the skin too, and a widget's own palette, font or style
// sheet (the colours a window sets for itself) always wins over the skin.
//
// The library is never unloaded: QApplication owns a style object whose code lives
// here.

#include "kvskin.h"

#include "SkinFormat.h"

#include <QApplication>
#include <QFont>
#include <QGroupBox>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

#include <cstring>
#include <memory>
#include <optional>
#include <span>

#define KVSKIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Widgets that get the glass look carry this property while aero is on; the aero part
// of the style sheet selects them by it.
constexpr char kAeroProperty[] = "kvskinAero";

struct AppliedSkin
{
    QPalette palette;
    std::optional<QFont> font;
    QString styleSheet;
    std::optional<kvskin::Aero> aero;
};

struct State
{
    std::optional<AppliedSkin> skin;
    bool aero = false;
    QPointer<QStyle> style;
    kvskin_attach_record last{};
};

State& TheState()
{
    static State state;
    return state;
}

QPalette::ColorRole ToQt(kvskin::Role role)
{
    using R = kvskin::Role;
    switch (role) {
    case R::Window:
        return QPalette::Window;
    case R::WindowText:
        return QPalette::WindowText;
    case R::Base:
        return QPalette::Base;
    case R::AlternateBase:
        return QPalette::AlternateBase;
    case R::Text:
        return QPalette::Text;
    case R::Button:
        return QPalette::Button;
    case R::ButtonText:
        return QPalette::ButtonText;
    case R::Highlight:
        return QPalette::Highlight;
    case R::HighlightedText:
        return QPalette::HighlightedText;
    case R::BrightText:
        return QPalette::BrightText;
    case R::Link:
        return QPalette::Link;
    case R::LinkVisited:
        return QPalette::LinkVisited;
    case R::ToolTipBase:
        return QPalette::ToolTipBase;
    case R::ToolTipText:
        return QPalette::ToolTipText;
    case R::PlaceholderText:
        return QPalette::PlaceholderText;
    case R::Light:
        return QPalette::Light;
    case R::Midlight:
        return QPalette::Midlight;
    case R::Mid:
        return QPalette::Mid;
    case R::Dark:
        return QPalette::Dark;
    case R::Shadow:
        return QPalette::Shadow;
    case R::Count:
        break;
    }
    return QPalette::NoRole;
}

QString Css(kvskin::Rgba c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(kvskin::Red(c))
        .arg(kvskin::Green(c))
        .arg(kvskin::Blue(c))
        .arg(kvskin::Alpha(c));
}

// The glass look: windows get a soft vertical gradient of the skin's window colour;
// panels a translucent overlay whose upper half is brighter, like a pane of glass
// catching light, with a thin border.
QString AeroStyleSheet(const kvskin::Aero& a)
{
    const kvskin::Rgba sheen = kvskin::Mix(a.panelTop, a.panelBottom, 0.5);
    return QStringLiteral(
               "\nQWidget[%1=\"window\"] { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
               "stop:0 %2, stop:0.5 %3, stop:1 %4); }\n"
               "QWidget[%1=\"panel\"] { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
               "stop:0 %5, stop:0.5 %6, stop:0.52 %7, stop:1 %7); border: 1px solid %8; "
               "border-radius: 6px; }\n")
        .arg(QLatin1String(kAeroProperty), Css(a.windowTop), Css(a.windowMiddle),
             Css(a.windowBottom), Css(a.panelTop), Css(sheen), Css(a.panelBottom),
             Css(a.panelBorder));
}

// The first class of a widget's ancestry that belongs to Qt itself.
const char* QtClassName(const QWidget* w)
{
    for (const QMetaObject* m = w->metaObject(); m; m = m->superClass()) {
        const char* name = m->className();
        if (name[0] == 'Q' && !std::strchr(name, ':'))
            return name;
    }
    return "";
}

// "window" for ordinary top-level windows and dialogs, "panel" for group boxes and
// plain frames (QFrame itself or the program's own frames, not Qt's labels or views),
// nullptr for everything else. A widget that fills its own background keeps it.
const char* AeroKind(const QWidget* w)
{
    if (w->autoFillBackground())
        return nullptr;
    if (w->isWindow()) {
        const Qt::WindowType type = w->windowType();
        return type == Qt::Window || type == Qt::Dialog ? "window" : nullptr;
    }
    if (qobject_cast<const QGroupBox*>(w) || std::strcmp(QtClassName(w), "QFrame") == 0)
        return "panel";
    return nullptr;
}

class SkinStyle : public QProxyStyle
{
public:
    SkinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    // Runs before the style sheet rules for the widget are worked out, so the aero
    // property chosen here is seen by them.
    void polish(QWidget* w) override
    {
        QProxyStyle::polish(w);
        const char* kind = TheState().aero ? AeroKind(w) : nullptr;
        if (kind) {
            w->setProperty(kAeroProperty, QString::fromLatin1(kind));
            w->setAttribute(Qt::WA_StyledBackground);
        } else if (w->property(kAeroProperty).isValid()) {
            w->setProperty(kAeroProperty, QVariant());
        }
    }
    using QProxyStyle::polish;
};

void Restyle(QApplication* app)
{
    State& s = TheState();
    if (!s.style) {
        // QApplication takes the style over (a style sheet wraps it); the pointer
        // clears if the style is ever replaced and deleted.
        s.style = new SkinStyle;
        QApplication::setStyle(s.style);
    }
    QApplication::setPalette(s.skin->palette);
    if (s.skin->font) {
        QApplication::setFont(*s.skin->font);
        // Before the event loop runs, Qt does not pass a new application font on to
        // existing windows; the login window is skinned exactly then.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QEvent change(QEvent::ApplicationFontChange);
            QCoreApplication::sendEvent(w, &change);
        }
    }
    QString sheet = s.skin->styleSheet;
    if (s.aero && s.skin->aero)
        sheet += AeroStyleSheet(*s.skin->aero);
    app->setStyleSheet(sheet);
}

AppliedSkin Convert(const kvskin::Skin& skin)
{
    AppliedSkin out;
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    out.palette = fusion->standardPalette();
    for (const auto& e : skin.palette) {
        const QColor colour = QColor::fromRgba(e.colour);
        const QPalette::ColorRole role = ToQt(e.role);
        switch (e.group) {
        case kvskin::Group::All:
            out.palette.setColor(role, colour);
            break;
        case kvskin::Group::Active:
            out.palette.setColor(QPalette::Active, role, colour);
            break;
        case kvskin::Group::Inactive:
            out.palette.setColor(QPalette::Inactive, role, colour);
            break;
        case kvskin::Group::Disabled:
            out.palette.setColor(QPalette::Disabled, role, colour);
            break;
        case kvskin::Group::Count:
            break;
        }
    }
    if (!skin.fontFamily.empty()) {
        QFont font(QString::fromStdString(skin.fontFamily));
        font.setPixelSize(skin.fontPixelSize);
        font.setWeight(QFont::Weight(skin.fontWeight));
        out.font = font;
    }
    out.styleSheet = QString::fromStdString(skin.styleSheet);
    out.aero = skin.aero;
    return out;
}

} // namespace

KVSKIN_EXPORT int kvskin_attach_res(const void* data, int length, const char* text, int a, int b,
                                    int c)
{
    State& s = TheState();
    const bool hasData = data != nullptr && length > 0;
    const std::span<const unsigned char> bytes =
        hasData ? std::span(static_cast<const unsigned char*>(data), std::size_t(length))
                : std::span<const unsigned char>();
    s.last = {s.last.calls + 1,
              data,
              length,
              hasData ? kvskin::Crc32(bytes) : 0u,
              text == nullptr || text[0] == '\0',
              a,
              b,
              c,
              0};

    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!hasData || !app)
        return 0;
    const std::optional<kvskin::Skin> skin = kvskin::ParseSkin(bytes);
    if (!skin)
        return 0;
    s.skin = Convert(*skin);
    Restyle(app);
    s.last.accepted = 1;
    return 1;
}

KVSKIN_EXPORT int kvskin_set_aero(int on)
{
    State& s = TheState();
    s.aero = on != 0;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (s.skin && app)
        Restyle(app);
    return 1;
}

KVSKIN_EXPORT int kvskin_last_attach(kvskin_attach_record* out)
{
    if (!out)
        return 0;
    *out = TheState().last;
    return 1;
}
