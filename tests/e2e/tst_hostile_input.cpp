// Hostile input through every text box of every window, typed key by key (pasted when
// it holds characters no keyboard types): each value is stored and shown exactly as it
// reached the box (a box with a limit of 16 takes no more), or refused with a clear
// message, and no value lets one login user see, change or delete another user's
// records or the table of login users.
#include "app/ListView.h"
#include "app/Toolkit.h"
#include "store/Provision.h"
#include "store/Statements.h"
#include "store/StoreConnection.h"
#include "windows/LoginWindow.h"
#include "windows/MainWindow.h"
#include "windows/NewUserWindow.h"
#include "windows/UserAdminWindow.h"
#include "windows/WindowTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

using kvtest::MessageBoxes;

namespace {

const QString kLimitText = QStringLiteral("limit");

// ---- the table of values ----

struct Hostile
{
    QString tag;
    QString value;
};

QString Repeat(const QString& piece, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

QList<Hostile> HostileValues()
{
    QList<Hostile> values;
    const auto add = [&values](const char* tag, const QString& value) {
        values.append({QStringLiteral("%1 %2")
                           .arg(values.size() + 1, 3, 10, QChar(u'0'))
                           .arg(QString::fromUtf8(tag)),
                       value});
    };
    // Quotes of every kind.
    add("single quote", "'");
    add("two single quotes", "''");
    add("three single quotes", "'''");
    add("quote inside", "o'brien");
    add("quoted word", "'abc'");
    add("double quote", "\"");
    add("double quotes inside", "say \"hi\"");
    add("backtick", "`");
    add("backtick inside", "a`b`c");
    add("backslash quote", "\\'");
    add("backslash", "\\");
    add("two backslashes", "\\\\");
    add("quote then comment", "'; --");
    add("quote then dashes", "'--");
    add("escaped double quote", "\\\"");
    add("mixed quotes", "'\"`'\"`");
    add("typographic quotes", QStringLiteral("‘’“”"));
    add("chinese quotes", QStringLiteral("「」『』"));
    // Brackets.
    add("open bracket", "[");
    add("close bracket", "]");
    add("bracketed", "[abc]");
    add("two close brackets", "]]");
    add("two open brackets", "[[");
    add("bracket inside", "a]b");
    add("parentheses", "()");
    add("braces", "{}");
    add("angle brackets", "<>");
    add("script tag", "<script>alert(1)</script>");
    add("rich text", "<b>bold</b><img src=x>");
    add("bracketed id", "[ID]");
    add("half bracket id", "ID]");
    add("fullwidth brackets", QStringLiteral("【】［］"));
    // SQL fragments.
    add("or true", "' OR '1'='1");
    add("or 1=1 comment", "' OR 1=1 --");
    add("admin comment", "admin'--");
    add("drop management", "x'); DROP TABLE management; --");
    add("delete users", "'; DELETE FROM management; --");
    add("drop victim bracket", "]; DROP TABLE [victim");
    add("victim drop", "victim]; DROP TABLE management; --");
    add("second statement", "1; SELECT * FROM victim");
    add("union", "' UNION SELECT username,password1,password2 FROM management --");
    add("union records", "' UNION SELECT * FROM victim --");
    add("percent", "%");
    add("underscore", "_");
    add("like pattern", "%' --");
    add("like chars", "a%b_c");
    add("star", "*");
    add("NULL", "NULL");
    add("null", "null");
    add("and false", "' AND 0 --");
    add("paren or", "') OR ('a'='a");
    add("double quote comment", "\"; --");
    add("comment open", "/*");
    add("comment close", "*/");
    add("dashes", "--");
    add("semicolon", ";");
    add("two semicolons", ";;");
    add("double quote or", "\" OR \"\"=\"");
    add("attach", "ATTACH DATABASE 'x' AS y");
    add("pragma key", "PRAGMA key=''");
    add("pragma rekey", "';PRAGMA rekey='x");
    add("sqlite_master", "sqlite_master");
    add("SQLITE_MASTER", "SQLITE_MASTER");
    add("sqlite_sequence", "sqlite_sequence");
    add("sqlite_ prefix", "sqlite_x");
    add("management", "management");
    add("MANAGEMENT", "MANAGEMENT");
    add("Management", "Management");
    add("management blank", "management ");
    add("blank management", " management");
    add("victim", "victim");
    add("VICTIM", "VICTIM");
    add("Victim", "Victim");
    add("victim suffix", "victim2");
    add("chinese victim", QStringLiteral("受害者"));
    add("main", "main");
    add("temp", "temp");
    add("select", "select");
    add("table", "table");
    add("drop", "drop");
    add("where", "where");
    add("ID", "ID");
    add("AS", "AS");
    add("NOTE", "NOTE");
    add("column user", QStringLiteral("用户名"));
    add("column password", QStringLiteral("口令"));
    add("column remark", QStringLiteral("备注"));
    add("create table", "CREATE TABLE x (a)");
    add("insert", "insert into management values('e','e','e')");
    add("update", "update management set password1=''");
    add("as select", "x AS SELECT * FROM management");
    add("hex literal", "x'00'");
    add("blob literal", "X'414243'");
    add("concatenation", "'||'");
    add("question mark", "?");
    add("named parameter", ":name");
    add("at parameter", "@p");
    add("dollar parameter", "$p");
    // Long texts.
    add("17 letters", Repeat("a", 17));
    add("16 letters", Repeat("b", 16));
    add("15 letters", Repeat("c", 15));
    add("50 letters", Repeat("x", 50));
    add("255 letters", Repeat("y", 255));
    add("256 letters", Repeat("z", 256));
    add("1000 mixed", Repeat("a'[b]\"", 167));
    add("2000 chinese", Repeat(QStringLiteral("汉字"), 1000));
    add("5000 quotes", Repeat("'", 5000));
    add("long sql", Repeat("' OR '1'='1' -- ", 40));
    add("long words", Repeat("lorem ipsum dolor sit amet ", 60));
    add("15 then emoji", Repeat("d", 15) + QStringLiteral("😀"));
    add("14 then emoji", Repeat("e", 14) + QStringLiteral("😀") + "f");
    add("17 chinese", Repeat(QStringLiteral("中"), 17));
    // Control characters (no keyboard types them: they are pasted).
    add("tab", "\t");
    add("tab inside", "a\tb");
    add("newline", "\n");
    add("newline inside", "line1\nline2");
    add("crlf", "a\r\nb");
    add("carriage return", "\r");
    add("start of heading", QString(QChar(0x01)));
    add("escape sequence", "\x1b[31mred\x1b[0m");
    add("delete char", QString(QChar(0x7f)));
    add("backspace char", "a\bb");
    add("vertical tab", "\x0b");
    add("form feed", "\x0c");
    add("next line", QString(QChar(0x85)));
    add("bell", "\a");
    add("unit separator", "a\x1f"
                          "b");
    add("quote and newline", "'\n--");
    add("bracket and tab", "]\t[");
    // Separators and direction marks.
    add("line separator", QString(QChar(0x2028)));
    add("paragraph separator", QString(QChar(0x2029)));
    add("right-to-left mark", QString(QChar(0x200f)));
    add("left-to-right mark", QString(QChar(0x200e)));
    add("right-to-left override", QString(QChar(0x202e)) + "abc");
    add("left-to-right override", QString(QChar(0x202d)) + "abc");
    add("isolates", QStringLiteral("\u2066a\u2069\u2067b\u2069\u2068c\u2069"));
    add("override in name", "abc" + QString(QChar(0x202e)) + "fed");
    add("zero width joiner", "a" + QString(QChar(0x200d)) + "b");
    add("zero width non-joiner", "a" + QString(QChar(0x200c)) + "b");
    add("zero width space", "a" + QString(QChar(0x200b)) + "b");
    add("byte order mark", QString(QChar(0xfeff)) + "x");
    add("soft hyphen", "a" + QString(QChar(0xad)) + "b");
    add("arabic", QStringLiteral("مرحبا"));
    add("hebrew", QStringLiteral("שלום"));
    add("arabic and latin", QStringLiteral("abc مرحبا 123"));
    add("no-break space", "a" + QString(QChar(0xa0)) + "b");
    add("ideographic space", QString(QChar(0x3000)));
    add("word joiner", "a" + QString(QChar(0x2060)) + "b");
    // Emoji and characters outside the basic plane.
    add("emoji", QStringLiteral("😀"));
    add("family", QStringLiteral("👨‍👩‍👧‍👦"));
    add("flag", QStringLiteral("🇨🇳"));
    add("rainbow flag", QStringLiteral("🏳️‍🌈"));
    add("skin tone", QStringLiteral("👍🏽"));
    add("nine emoji", Repeat(QStringLiteral("🔑"), 9));
    add("emoji and quote", QStringLiteral("😀'😀"));
    add("math letters", QStringLiteral("𝕬𝖇𝖈"));
    add("ext b ideograph", QStringLiteral("𠀀𠀁"));
    add("musical symbol", QStringLiteral("𝄞"));
    add("private use", QString(QChar(0xe000)) + QString(QChar(0xf8ff)));
    add("replacement char", QString(QChar(0xfffd)));
    add("variation selector", QStringLiteral("☺︎☺️"));
    add("keycap", QStringLiteral("1️⃣"));
    // Chinese and other scripts.
    add("chinese name", QStringLiteral("张三"));
    add("chinese words", QStringLiteral("管理员账号"));
    add("traditional", QStringLiteral("繁體中文"));
    add("fullwidth latin", QStringLiteral("ＡＢＣａｂｃ"));
    add("chinese punctuation", QStringLiteral("，。！？；：、"));
    add("chinese with blank", QStringLiteral("王 五"));
    add("japanese", QStringLiteral("かなカナ漢字"));
    add("korean", QStringLiteral("한국어"));
    add("cyrillic", QStringLiteral("Пароль"));
    add("greek sigma", QStringLiteral("ΣσςΣ"));
    add("combining accent", "e" + QString(QChar(0x301)));
    add("precomposed accent", QStringLiteral("é"));
    add("angstrom decomposed", "A" + QString(QChar(0x30a)));
    add("dotted capital i", QStringLiteral("İstanbul"));
    add("dotless i", QStringLiteral("ıi"));
    add("sharp s", QStringLiteral("straße"));
    add("ligature", QStringLiteral("ﬃ"));
    add("kelvin sign", QStringLiteral("\u212Aey"));
    add("thai", QStringLiteral("ภาษาไทย"));
    add("devanagari", QStringLiteral("नमस्ते"));
    // Text that looks like a number.
    add("leading zero", "0123");
    add("zeros", "00");
    add("zero", "0");
    add("minus zero", "-0");
    add("exponent", "1e5");
    add("capital exponent", "1E5");
    add("one point zero", "1.0");
    add("point five", ".5");
    add("hex", "0x1F");
    add("plus one", "+1");
    add("minus one", "-1");
    add("pi", "3.14159265358979323846");
    add("largest int64", "9223372036854775807");
    add("beyond int64", "9223372036854775808");
    add("below int64", "-9223372036854775809");
    add("large double", "1e308");
    add("overflowing double", "1e309");
    add("NaN", "NaN");
    add("Infinity", "Infinity");
    add("minus Infinity", "-Infinity");
    add("zero point zero", "0.0");
    add("thousands", "1,000");
    add("fullwidth digits", QStringLiteral("０１２３"));
    add("blank before number", " 42");
    add("blank after number", "42 ");
    add("broken exponent", "12e");
    add("small exponent", "1e-5");
    add("double zero seven", "007");
    add("chinese number", QStringLiteral("一二三"));
    add("true", "true");
    add("date", "2024-01-01");
    // Empty and blank.
    add("empty", "");
    add("blank", " ");
    add("two blanks", "  ");
    add("blank inside", "a b");
    add("leading blank", " lead");
    add("trailing blank", "trail ");
    // Anything else a field might misread.
    add("percent zero zero", "%00");
    add("percent quote", "%27");
    add("backslash zero", "\\0");
    add("backslash x00", "\\x00");
    add("shell variable", "${HOME}");
    add("command substitution", "$(id)");
    add("backtick command", "`id`");
    add("pipe", "|ls");
    add("path up", "../../etc/passwd");
    add("windows path", "C:\\Windows\\system32");
    add("file url", "file:///etc/passwd");
    add("odbc piece", "ODBC;DBQ=x");
    add("password piece", ";PWD=");
    add("braced piece", "DBQ={x}");
    add("format string", "%s%n%x%d");
    add("qt placeholder", "%1%2");
    add("brace placeholder", "{0}");
    add("html entity", "&amp;&#39;");
    add("ampersand", "&");
    add("hash", "#");
    add("equals", "=");
    add("pipe and quote", "|'|");
    add("json", "{\"a\":[1,2]}");
    add("ini line", "[section]\nkey=value");
    add("all ascii punctuation", "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
    return values;
}

// ---- what a box holds after a person typed or pasted a value ----

// A person types every character that is not a control character (or unassigned);
// a value holding one is pasted as a whole instead.
bool MustPaste(const QString& value)
{
    for (const char32_t c : value.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_NotAssigned)
            return true;
    }
    return false;
}

struct Box
{
    int limit = 0; // 0: none
    bool swallowsSpace = false;
};

const Box kNameBox{16, true};
const Box kPasswordBox{16, false};
const Box kFreeBox{0, false};

// What the box holds after the value was typed into it (empty) or pasted.
QString Reached(const QString& value, const Box& box)
{
    if (MustPaste(value)) {
        QString text = value; // a paste keeps blanks; the limit cuts it
        if (box.limit > 0 && text.size() > box.limit) {
            text.truncate(box.limit);
            if (text.back().isHighSurrogate())
                text.chop(1);
        }
        return text;
    }
    QString text;
    for (const char32_t c : value.toUcs4()) {
        if (box.swallowsSpace && c == U' ')
            continue;
        const QString typed = QString::fromUcs4(&c, 1);
        if (box.limit > 0 && text.size() + typed.size() > box.limit)
            continue; // typing stops at the limit
        text += typed;
    }
    return text;
}

// Types the value into the box key by key, or pastes it (Ctrl+V) when it must be.
void Enter(QLineEdit* box, const QString& value)
{
    box->setFocus(Qt::MouseFocusReason);
    if (MustPaste(value)) {
        QGuiApplication::clipboard()->setText(value);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        return;
    }
    for (const char32_t c : value.toUcs4()) {
        if (c >= 0x20 && c < 0x7f)
            QTest::keyClick(box, char(c));
        else
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&c, 1),
                                Qt::NoModifier);
    }
}

// Empties the box as a person would: select everything, delete.
void Empty(QLineEdit* box)
{
    box->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
}

void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int FindRow(const kv::ListView* list, const QString& text)
{
    for (int row = 0; row < list->RowCount(); ++row)
        if (list->CellText(row, 0) == text)
            return row;
    return -1;
}

// The login users other values must never reach, with records that look hostile too.
struct Victim
{
    QString name;
    QString password;
    QStringList records; // "ID|user|password|remark"
};

const QList<Victim>& Victims()
{
    static const QList<Victim> victims{
        {"victim", "Vic#pw1", {"1|bank|0123|1e5", "2|o'brien|[x]|'; --", "3|mail|pw|"}},
        {QStringLiteral("受害者"), QStringLiteral("密码-2"), {"1|QQ|口令'|备注"}},
    };
    return victims;
}

} // namespace

class TstHostileInput : public QObject
{
    Q_OBJECT

    std::unique_ptr<kvtest::RunDirectory> run_;
    std::unique_ptr<MessageBoxes> boxes_;
    kv::LoginWindow* login_ = nullptr;

    // Every row of management and every table, as the store holds them now.
    QStringList StoreSnapshot() const
    {
        QStringList lines;
        kv::StoreConnection store;
        if (!store.Open(run_->StoreFile(), kvtest::StorePassword()))
            return {"<store not opened>"};
        {
            const kv::ScopedResult rows(
                store, store.Query("select username,password1,password2 from management"));
            for (; !store.AtEnd(rows); store.MoveNext(rows))
                lines << "user " + store.ReadText(rows, 1) + u'|' + store.ReadText(rows, 2) + u'|' +
                             store.ReadText(rows, 3);
        }
        const kv::ScopedResult tables(store, store.Query("select name from sqlite_master"));
        for (; !store.AtEnd(tables); store.MoveNext(tables))
            lines << "table " + store.ReadText(tables, 1);
        lines.sort();
        return lines;
    }

    // The lines of a snapshot about the victims.
    static QStringList VictimLines(const QStringList& snapshot)
    {
        QStringList lines;
        for (const QString& line : snapshot)
            for (const Victim& victim : Victims())
                if (line == "table " + victim.name || line.startsWith("user " + victim.name + u'|'))
                    lines << line;
        return lines;
    }

    QStringList Baseline() const
    {
        QStringList lines{"table management"};
        for (const Victim& victim : Victims()) {
            lines << "user " + victim.name + u'|' + victim.password + u'|' + victim.password;
            lines << "table " + victim.name;
        }
        lines.sort();
        return lines;
    }

    // The message boxes shown by one action, each answered OK.
    QStringList Messages(const std::function<void()>& action)
    {
        boxes_->Clear();
        action();
        Settle();
        return boxes_->texts;
    }

    // The name rule for new login users: refused when it cannot be quoted safely, is
    // reserved by the engine, or equals (ignoring case) a table or a login user.
    static bool NameRefused(const QString& name)
    {
        for (const char32_t c : name.toUcs4())
            if (c == U'[' || c == U']' || c == U'"' || c == U'\'' || c == U'`' ||
                QChar::category(c) == QChar::Other_Control)
                return true;
        if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
            return true;
        QStringList taken{"management"};
        for (const Victim& victim : Victims())
            taken << victim.name;
        for (const QString& other : taken)
            if (other.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        // The offscreen platform warns about size hints at every window; a thousand
        // windows would drown the output. (Qt Test's own handler is in place by now.)
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (!message.contains(QLatin1String("propagateSizeHints")))
                    previous(type, context, message);
            });
        run_ = std::make_unique<kvtest::RunDirectory>();
        QVERIFY(run_->IsValid());
        for (const Victim& victim : Victims()) {
            QVERIFY(run_->AddUser(victim.name, victim.password));
            for (const QString& record : victim.records) {
                const QStringList cells = record.split(u'|');
                QVERIFY(
                    run_->AddRecord(victim.name, cells[0].toInt(), cells[1], cells[2], cells[3]));
            }
            QCOMPARE(run_->Records(victim.name), victim.records);
        }
        boxes_ = std::make_unique<MessageBoxes>();
        QVERIFY(kv::LoadWindow<kv::LoginWindow>());
        login_ = kv::AliveWindow<kv::LoginWindow>();
        QVERIFY(login_);
        QVERIFY(kvtest::Activate(login_));
        QCOMPARE(HostileValues().size() >= 200, true);
    }

    void cleanup()
    {
        // Whatever a failed row left behind goes, so the next row starts clean.
        for (kv::Window* window :
             {static_cast<kv::Window*>(kv::AliveWindow<kv::MainWindow>()),
              static_cast<kv::Window*>(kv::AliveWindow<kv::NewUserWindow>()),
              static_cast<kv::Window*>(kv::AliveWindow<kv::UserAdminWindow>())})
            delete window;
        Settle();
        if (login_) {
            login_->用户名_编辑框->clear();
            login_->口令_编辑框->clear();
            login_->setVisible(true);
        }
        kv::StoreConnection store;
        if (store.Open(run_->StoreFile(), kvtest::StorePassword())) {
            QStringList users;
            {
                const kv::ScopedResult rows(store, store.Query(kv::statements::UserList()));
                for (; !store.AtEnd(rows); store.MoveNext(rows))
                    users << store.ReadText(rows, 1);
            }
            for (const QString& user : users)
                if (user != Victims()[0].name && user != Victims()[1].name)
                    store.ExecuteTogether(
                        {kv::statements::UserDelete(user), kv::statements::RecordTableDrop(user)});
        }
    }

    void everyTextBox_data()
    {
        QTest::addColumn<QString>("value");
        for (const Hostile& hostile : HostileValues())
            QTest::newRow(qPrintable(hostile.tag)) << hostile.value;
    }

    void everyTextBox()
    {
        QFETCH(QString, value);
        const QString name = Reached(value, kNameBox);
        const QString password = Reached(value, kPasswordBox);
        const QString free = Reached(value, kFreeBox);
        const bool created = !name.isEmpty() && !NameRefused(name) && !password.isEmpty();

        // NewUserWindow: name, password, repetition.
        QVERIFY(kv::LoadWindow<kv::NewUserWindow>(nullptr, false));
        kv::NewUserWindow* newUser = kv::AliveWindow<kv::NewUserWindow>();
        Enter(newUser->新建用户名_编辑框, value);
        Enter(newUser->新建密码_编辑框, value);
        Enter(newUser->新建密码_编辑框1, value);
        QCOMPARE(newUser->新建用户名_编辑框->text(), name);
        QCOMPARE(newUser->新建密码_编辑框->text(), password);
        QCOMPARE(newUser->新建密码_编辑框1->text(), password);
        QStringList shown =
            Messages([&] { QTest::mouseClick(newUser->新建_按钮, Qt::LeftButton); });
        QCOMPARE(shown.size(), 1);
        if (created) {
            QCOMPARE(shown[0], QStringLiteral("成功创建用户"));
            QVERIFY(!kv::AliveWindow<kv::NewUserWindow>());
            QCOMPARE(run_->Records(name), QStringList());
            QStringList expected = Baseline();
            expected << "user " + name + u'|' + password + u'|' + password << "table " + name;
            expected.sort();
            QCOMPARE(StoreSnapshot(), expected);
        } else {
            if (name.isEmpty())
                QCOMPARE(shown[0], QStringLiteral("请输入用户名"));
            else if (NameRefused(name))
                QVERIFY2(shown[0] != QStringLiteral("成功创建用户") &&
                             shown[0].contains(QStringLiteral("用户名")),
                         qPrintable(shown[0]));
            else
                QCOMPARE(shown[0], QStringLiteral("请输入口令"));
            QCOMPARE(StoreSnapshot(), Baseline());
            QTest::keyClick(kv::AliveWindow<kv::NewUserWindow>()->新建用户名_编辑框,
                            Qt::Key_Escape);
            Settle();
            QVERIFY(!kv::AliveWindow<kv::NewUserWindow>());
        }

        // LoginWindow: name and password, Enter in the password box.
        login_->用户名_编辑框->clear();
        login_->口令_编辑框->clear();
        Enter(login_->用户名_编辑框, value);
        Enter(login_->口令_编辑框, value);
        QCOMPARE(login_->用户名_编辑框->text(), name);
        QCOMPARE(login_->口令_编辑框->text(), password);
        shown = Messages([&] { QTest::keyClick(login_->口令_编辑框, Qt::Key_Return); });
        kv::MainWindow* main = kv::AliveWindow<kv::MainWindow>();
        const QByteArray lastUser = kvtest::FileBytes(run_->File("skin.ini"));
        if (created) {
            QCOMPARE(shown, QStringList());
            QVERIFY(main);
            QCOMPARE(lastUser, name.toUtf8());
        } else {
            // No value logs in as anyone, and the refusal says why.
            QVERIFY(!main);
            QCOMPARE(shown.size(), 1);
            bool knownName = false;
            for (const Victim& victim : Victims())
                knownName = knownName || victim.name == name;
            if (name.isEmpty())
                QCOMPARE(shown[0], QStringLiteral("请输入用户名"));
            else if (knownName)
                QCOMPARE(shown[0], QStringLiteral("您输入的口令错误！"));
            else
                QCOMPARE(shown[0], QStringLiteral("此用户没有创建"));
            QCOMPARE(lastUser, knownName ? name.toUtf8() : QByteArray());
        }

        if (main) {
            // MainWindow: the new user's list is empty; the add panel's three boxes.
            QCOMPARE(main->主界面_超级列表框->RowCount(), 0);
            QTest::mouseClick(main->主界面_添加按钮, Qt::LeftButton);
            Enter(main->主界面_添加用户编辑框, value);
            Enter(main->主界面_添加口令编辑框, value);
            Enter(main->主界面_添加备注编辑框, value);
            QCOMPARE(main->主界面_添加用户编辑框->text(), free);
            QCOMPARE(main->主界面_添加口令编辑框->text(), free);
            QCOMPARE(main->主界面_添加备注编辑框->text(), free);
            shown = Messages([&] { QTest::mouseClick(main->主界面_添加用户按钮, Qt::LeftButton); });
            if (free.isEmpty()) {
                QCOMPARE(shown, QStringList{QStringLiteral("请输入内容")});
                QTest::mouseClick(main->主界面_添加用户退出, Qt::LeftButton);
                // An empty value adds nothing; add a plain record to go on with.
                QTest::mouseClick(main->主界面_添加按钮, Qt::LeftButton);
                Enter(main->主界面_添加用户编辑框, "u");
                Enter(main->主界面_添加口令编辑框, "p");
                shown =
                    Messages([&] { QTest::mouseClick(main->主界面_添加用户按钮, Qt::LeftButton); });
            }
            QCOMPARE(shown, QStringList());
            const QString row = free.isEmpty() ? QStringLiteral("1|u|p|")
                                               : QStringList{"1", free, free, free}.join(u'|');
            QCOMPARE(run_->Records(name), QStringList{row});
            QCOMPARE(main->主界面_超级列表框->RowCount(), 1);
            QStringList cells;
            for (int column = 0; column < 4; ++column)
                cells << main->主界面_超级列表框->CellText(0, column);
            QCOMPARE(cells.join(u'|'), row);

            // The change panel (the list's menu item "修改"): the value written over the
            // account user name, with a prefix so that it differs.
            const QString changed = QStringLiteral("改") + value;
            const QString changedFree = Reached(changed, kFreeBox);
            main->主界面右击->actions().at(1)->trigger();
            Empty(main->主界面_修改用户编辑框);
            Enter(main->主界面_修改用户编辑框, changed);
            Empty(main->主界面_修改备注编辑框);
            Enter(main->主界面_修改备注编辑框, value);
            shown = Messages([&] { QTest::mouseClick(main->主界面_修改保存按钮, Qt::LeftButton); });
            QCOMPARE(shown, QStringList());
            const QString changedRow =
                QStringList{"1", changedFree, free.isEmpty() ? QStringLiteral("p") : free, free}
                    .join(u'|');
            QCOMPARE(run_->Records(name), QStringList{changedRow});

            // A second record, then delete the selected one and delete all.
            QTest::mouseClick(main->主界面_添加按钮, Qt::LeftButton);
            Enter(main->主界面_添加用户编辑框, "second");
            Enter(main->主界面_添加口令编辑框, "2");
            QCOMPARE(
                Messages([&] { QTest::mouseClick(main->主界面_添加用户按钮, Qt::LeftButton); }),
                QStringList());
            QCOMPARE(run_->Records(name).size(), 2);
            QCOMPARE(Messages([&] { QTest::mouseClick(main->主界面_删除按钮, Qt::LeftButton); }),
                     QStringList{QStringLiteral("你确定删除？")});
            QCOMPARE(run_->Records(name).size(), 1);
            QCOMPARE(
                Messages([&] { QTest::mouseClick(main->主界面_全部删除按钮, Qt::LeftButton); }),
                QStringList({QStringLiteral("你确定全部删除？"), QStringLiteral("全部删除成功")}));
            QCOMPARE(run_->Records(name), QStringList());
            QTest::mouseClick(main->主界面_返回按钮, Qt::LeftButton);
            Settle();
            QVERIFY(!kv::AliveWindow<kv::MainWindow>());
        }

        // UserAdminWindow: the four password boxes. Against a victim, the value opens
        // neither panel's check. Then the user it made (or, for a value that made none,
        // a scratch user with that password) gets a new password and is deleted.
        const QString target = created ? name : QStringLiteral("scratch");
        const bool changeable = !password.isEmpty();
        if (!created && changeable)
            QVERIFY(run_->AddUser(target, password));
        QVERIFY(kv::LoadWindow<kv::UserAdminWindow>(nullptr, false));
        kv::UserAdminWindow* admin = kv::AliveWindow<kv::UserAdminWindow>();
        QCOMPARE(admin->管理_超级列表框->RowCount(), changeable ? 3 : 2);
        const QString refusal = password.isEmpty() ? QStringLiteral("请输入口令")
                                                   : QStringLiteral("口令输入错误，请重新输入");
        admin->管理_超级列表框->SetCurrentSelection(
            FindRow(admin->管理_超级列表框, Victims()[0].name));
        QTest::mouseClick(admin->管理口令更改_按钮, Qt::LeftButton);
        Enter(admin->管理_编辑框1, value);
        QCOMPARE(admin->管理_编辑框1->text(), password);
        QCOMPARE(Messages([&] { QTest::mouseClick(admin->管理口令更改次终_按钮, Qt::LeftButton); }),
                 QStringList{refusal});
        QTest::mouseClick(admin->管理小退出_按钮1, Qt::LeftButton);
        QTest::mouseClick(admin->管理删除用户_按钮, Qt::LeftButton);
        Enter(admin->管理_编辑框, value);
        QCOMPARE(admin->管理_编辑框->text(), password);
        QCOMPARE(Messages([&] { QTest::mouseClick(admin->管理删除用户最终_按钮, Qt::LeftButton); }),
                 QStringList{refusal});
        QTest::mouseClick(admin->管理小退出_按钮, Qt::LeftButton);
        QCOMPARE(VictimLines(StoreSnapshot()), VictimLines(Baseline()));

        if (changeable) {
            const int row = FindRow(admin->管理_超级列表框, target);
            QVERIFY2(row >= 0, "the user list does not show the name as typed");
            admin->管理_超级列表框->SetCurrentSelection(row);
            QTest::mouseClick(admin->管理口令更改_按钮, Qt::LeftButton);
            Enter(admin->管理_编辑框1, value);
            QCOMPARE(
                Messages([&] { QTest::mouseClick(admin->管理口令更改次终_按钮, Qt::LeftButton); }),
                QStringList{QStringLiteral("你确定更改？")});
            const QString renewed = QStringLiteral("n") + value;
            const QString renewedPassword = Reached(renewed, kPasswordBox);
            Enter(admin->管理_编辑框2, renewed);
            Enter(admin->管理_编辑框3, renewed);
            QCOMPARE(admin->管理_编辑框2->text(), renewedPassword);
            QCOMPARE(admin->管理_编辑框3->text(), renewedPassword);
            QCOMPARE(
                Messages([&] { QTest::mouseClick(admin->管理口令更改最终_按钮1, Qt::LeftButton); }),
                QStringList{QStringLiteral("更改成功")});
            QStringList expected = Baseline();
            expected << "user " + target + u'|' + renewedPassword + u'|' + renewedPassword
                     << "table " + target;
            expected.sort();
            QCOMPARE(StoreSnapshot(), expected);

            // Deleting takes the new password, not the old one.
            QTest::mouseClick(admin->管理删除用户_按钮, Qt::LeftButton);
            Enter(admin->管理_编辑框, value);
            QCOMPARE(
                Messages([&] { QTest::mouseClick(admin->管理删除用户最终_按钮, Qt::LeftButton); }),
                QStringList{QStringLiteral("口令输入错误，请重新输入")});
            Enter(admin->管理_编辑框, renewed);
            QCOMPARE(
                Messages([&] { QTest::mouseClick(admin->管理删除用户最终_按钮, Qt::LeftButton); }),
                QStringList{QStringLiteral("你确定删除？")});
            QCOMPARE(FindRow(admin->管理_超级列表框, target), -1);
        }
        QTest::mouseClick(admin->管理退出_按钮, Qt::LeftButton);
        Settle();
        QVERIFY(!kv::AliveWindow<kv::UserAdminWindow>());

        // Nothing of anyone else changed.
        QCOMPARE(StoreSnapshot(), Baseline());
        for (const Victim& victim : Victims())
            QCOMPARE(run_->Records(victim.name), victim.records);
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    TstHostileInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostile_input.moc"
