// The program's side of the skin library against the real library: writing it into the
// run directory, binding its functions once, what ApplySkin hands over, and the error
// box when the library or a function cannot be found (played in a child process).

#include "app/Dialogs.h"
#include "app/Toolkit.h"
#include "skin/SkinLibrary.h"
#include "skin/lib/SkinFormat.h"
#include "skin/lib/kvskin.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray AsBytes(std::span<const unsigned char> s)
{
    return QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size()));
}

// What the library loaded from the test's run directory last received.
kvskin_attach_record LastAttach()
{
    kvskin_attach_record r{};
    void* library =
        dlopen(QFile::encodeName(kv::SkinLibraryPath()).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (library)
        if (auto last = reinterpret_cast<decltype(&kvskin_last_attach)>(
                dlsym(library, "kvskin_last_attach")))
            last(&r);
    return r;
}

QString MissingFunctionText(const char* function)
{
    return kv::ErrorBoxText(std::nullopt,
                            QStringLiteral("无法找到指定DLL库文件“libkvskin.so”中的输出命令“%1”")
                                .arg(QLatin1String(function)));
}

} // namespace

class SkinBindingTest : public QObject
{
    Q_OBJECT

    QTemporaryDir runDirectory_;

private slots:
    void initTestCase()
    {
        QVERIFY(runDirectory_.isValid());
        kv::SetRunDirectory(runDirectory_.path());
    }

    // Runs first, in a process where nothing is written or bound yet.
    void firstStartWritesTheCarriedLibrary()
    {
        const QString path = runDirectory_.filePath(QStringLiteral("libkvskin.so"));
        QCOMPARE(kv::SkinLibraryPath(), path);
        QVERIFY(!QFileInfo::exists(path));
        kv::EnsureSkinLibrary();
        const QByteArray written = ReadFile(path);
        QCOMPARE(written, AsBytes(kv::SkinLibraryBlock()));
        // The carried block is the library as built, not an older one.
        QCOMPARE(written, ReadFile(QStringLiteral(KVSKIN_LIBRARY_PATH)));
        QCOMPARE(kv::SkinFunctionLookups(), 0);
    }

    void skinOutsideTheCatalogueHandsNoData_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("0") << 0;
        QTest::newRow("34") << 34;
        QTest::newRow("-1") << -1;
    }
    void skinOutsideTheCatalogueHandsNoData()
    {
        QFETCH(int, n);
        const QPalette palette = QApplication::palette();
        const int callsBefore = LastAttach().calls;
        kv::ApplySkin(n);
        const kvskin_attach_record r = LastAttach();
        QCOMPARE(r.calls, callsBefore + 1);
        QCOMPARE(r.data, nullptr);
        QCOMPARE(r.length, 0);
        QVERIFY(r.text_empty);
        QCOMPARE(r.a + r.b + r.c, 0);
        QCOMPARE(r.accepted, 0);
        // The default look stays.
        QCOMPARE(QApplication::palette(), palette);
        QVERIFY(qApp->styleSheet().isEmpty());
        QCOMPARE(kv::SkinFunctionLookups(), 1);
    }

    void skinFiveIsHandedOverExactly()
    {
        const auto five = kv::CatalogueSkin(5);
        kv::ApplySkin(5);
        const kvskin_attach_record r = LastAttach();
        QCOMPARE(r.length, int(five.size()));
        QCOMPARE(r.crc32, kvskin::Crc32(five));
        QVERIFY(r.data != nullptr && r.data != five.data()); // a private copy
        QVERIFY(r.text_empty);
        QCOMPARE(r.a, 0);
        QCOMPARE(r.b, 0);
        QCOMPARE(r.c, 0);
        QCOMPARE(r.accepted, 1);
        const kvskin::Skin skin = *kvskin::ParseSkin(five);
        QCOMPARE(QApplication::palette().color(QPalette::Window).rgba(),
                 *skin.Colour(kvskin::Role::Window));
        QCOMPARE(qApp->styleSheet(), QString::fromStdString(skin.styleSheet));
    }

    void aeroIsSwitchedOn()
    {
        kv::EnableSkinAero();
        QWidget window;
        window.show();
        QCOMPARE(window.property("kvskinAero").toString(), QStringLiteral("window"));
        QCOMPARE(kv::SkinFunctionLookups(), 2);
    }

    void eachFunctionIsLookedUpOnce()
    {
        for (int i = 0; i < 5; ++i) {
            kv::ApplySkin(5);
            kv::EnableSkinAero();
        }
        QCOMPARE(kv::SkinFunctionLookups(), 2);
    }

    // Whatever carries the name already is left as it is; the bound library keeps
    // working.
    void existingNameIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("file of other content") << QStringLiteral("file");
        QTest::newRow("directory") << QStringLiteral("directory");
        QTest::newRow("dangling link") << QStringLiteral("link");
    }
    void existingNameIsNeverReplaced()
    {
        QFETCH(QString, kind);
        QTemporaryDir other;
        const QString path = other.filePath(QStringLiteral("libkvskin.so"));
        const QString target = other.filePath(QStringLiteral("elsewhere"));
        if (kind == QLatin1String("file")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a library");
            f.close();
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        } else if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(other.path()).mkdir(QStringLiteral("libkvskin.so")));
        } else {
            QVERIFY(QFile::link(target, path));
        }
        struct stat before;
        QCOMPARE(lstat(QFile::encodeName(path).constData(), &before), 0);

        kv::SetRunDirectory(other.path());
        kv::EnsureSkinLibrary();
        kv::ApplySkin(5);
        kv::EnableSkinAero();
        kv::SetRunDirectory(runDirectory_.path());

        struct stat after;
        QCOMPARE(lstat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_size, before.st_size);
        QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        QVERIFY(!QFileInfo::exists(target));
        if (kind == QLatin1String("file"))
            QCOMPARE(ReadFile(path), QByteArray("not a library"));
        if (kind == QLatin1String("directory"))
            QVERIFY(QDir(path).isEmpty());
        QCOMPARE(kv::SkinFunctionLookups(), 2);
    }

    // In a fresh process: a run directory whose libkvskin.so cannot serve, and no
    // library of that name anywhere on the search path, end the program through the
    // error box with exit code -1 (255).
    void unusableLibraryEndsTheProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("function");
        QTest::newRow("directory")
            << QStringLiteral("directory") << QStringLiteral("kvskin_attach_res");
        QTest::newRow("truncated library")
            << QStringLiteral("truncated") << QStringLiteral("kvskin_attach_res");
        QTest::newRow("foreign file")
            << QStringLiteral("foreign") << QStringLiteral("kvskin_attach_res");
        QTest::newRow("library without kvskin_set_aero")
            << QStringLiteral("attach-only") << QStringLiteral("kvskin_set_aero");
    }
    void unusableLibraryEndsTheProgram()
    {
        QFETCH(QString, kind);
        QFETCH(QString, function);
        if (kvtest::ChildScenario() == kind) {
            kv::SetRunDirectory(qEnvironmentVariable("KV_SKIN_RUN_DIR"));
            auto* answer = new QTimer(qApp);
            connect(answer, &QTimer::timeout, [answer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box)
                    return;
                answer->stop();
                std::printf("BOX[%s]BOX\n", box->text().toUtf8().constData());
                std::fflush(stdout);
                box->buttons().first()->click();
            });
            answer->start(10);
            kv::ApplySkin(5);
            kv::EnableSkinAero();
            QFAIL("the skin calls returned");
        }

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("libkvskin.so"));
        // A copy cut short: the loader would map past its end and crash the program.
        const QByteArray content = kind == QLatin1String("truncated")
                                       ? AsBytes(kv::SkinLibraryBlock()).left(4096)
                                       : QByteArray("[skin]\nname=foreign\n");
        if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("libkvskin.so")));
        } else if (kind == QLatin1String("truncated") || kind == QLatin1String("foreign")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        } else {
            QVERIFY(QFile::copy(QStringLiteral(KV_ATTACH_ONLY_PATH), path));
        }

        QProcessEnvironment env;
        env.insert(QStringLiteral("KV_SKIN_RUN_DIR"), dir.path());
        const kvtest::ChildOutcome outcome = kvtest::RunChild(
            QStringLiteral("unusableLibraryEndsTheProgram:") + QTest::currentDataTag(), kind, env);
        QVERIFY2(!outcome.crashed, qPrintable(outcome.output));
        QCOMPARE(outcome.exitCode, 255);
        const qsizetype begin = outcome.output.indexOf(QLatin1String("BOX["));
        const qsizetype end = outcome.output.indexOf(QLatin1String("]BOX"));
        QVERIFY2(begin >= 0 && end > begin, qPrintable(outcome.output));
        QCOMPARE(outcome.output.mid(begin + 4, end - begin - 4),
                 MissingFunctionText(function.toLatin1().constData()));

        if (kind == QLatin1String("directory"))
            QVERIFY(QDir(path).isEmpty());
        if (kind == QLatin1String("truncated") || kind == QLatin1String("foreign"))
            QCOMPARE(ReadFile(path), content);
    }
};

QTEST_MAIN(SkinBindingTest)
#include "tst_skinbinding.moc"
