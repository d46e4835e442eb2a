#include "Controls.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace kv {
namespace {

// Each widget's own style sheet is rebuilt from these properties, so colours set
// separately never overwrite each other, and a skin's application style sheet cannot
// override them.
constexpr char kTextColourProperty[] = "kvTextColour";
constexpr char kBackgroundProperty[] = "kvBackground";
constexpr char kMaskedProperty[] = "kvMasked";

void RebuildOwnStyle(QWidget* widget)
{
    QString sheet;
    const QVariant text = widget->property(kTextColourProperty);
    if (text.isValid())
        sheet += QStringLiteral("color: %1;").arg(text.value<QColor>().name());
    const QVariant background = widget->property(kBackgroundProperty);
    if (background.isValid())
        sheet += QStringLiteral("background-color: %1;").arg(background.value<QColor>().name());
    if (widget->property(kMaskedProperty).toBool())
        sheet += QStringLiteral("lineedit-password-character: 42;");
    widget->setStyleSheet(sheet);
}

// Limits what the user types or pastes to a number of characters. Text set by the
// program is not validated, so it is never cut. An insertion that would pass the limit
// is shortened, as a pasted text is cut at the limit; a surrogate pair is never split.
class LengthLimit : public QValidator
{
public:
    LengthLimit(QLineEdit* box, int limit) : QValidator(box), box_(box), limit_(limit) {}

    State validate(QString& input, int& pos) const override
    {
        if (input.size() <= limit_ || input.size() <= box_->text().size())
            return Acceptable;
        int excess = input.size() - std::max<qsizetype>(limit_, box_->text().size());
        int start = pos - excess;
        if (start < 0)
            return Invalid;
        if (start > 0 && input.at(start - 1).isHighSurrogate() &&
            input.at(start).isLowSurrogate()) {
            --start;
            ++excess;
        }
        input.remove(start, excess);
        pos = start;
        return Acceptable;
    }

private:
    QLineEdit* box_;
    int limit_;
};

} // namespace

QFont KaiFont(int pixelHeight)
{
    QFont font;
    font.setFamilies({QStringLiteral("楷体"), QStringLiteral("KaiTi"),
                      QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
                      QStringLiteral("AR PL UKai")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    return label;
}

QLineEdit* MakeEditBox(QWidget* parent, const char* name, const QRect& geometry, int limit,
                       bool masked)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(geometry);
    if (limit > 0)
        box->setValidator(new LengthLimit(box, limit));
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setProperty(kMaskedProperty, true);
        RebuildOwnStyle(box);
    }
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    widget->setProperty(kTextColourProperty, colour);
    RebuildOwnStyle(widget);
}

void SetBackground(QWidget* widget, const QColor& colour)
{
    widget->setProperty(kBackgroundProperty, colour);
    widget->setAutoFillBackground(true);
    RebuildOwnStyle(widget);
}

} // namespace kv
