#include "ModalHook.h"
#include "QtTranslations.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include <sys/stat.h>

#include <unistd.h>

namespace {

// The lines of /proc/locks that this process holds on the files of the folder: the kernel's view of
// SQLite's locks (other locks of the process, such as a font cache's, come and go).
int HeldLocks(const QString& folder)
{
    QFile file(QStringLiteral("/proc/locks"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> inodes;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        struct stat st { };
        if (::stat(QFile::encodeName(entry.filePath()).constData(), &st) == 0)
            inodes << ':' + QByteArray::number(qulonglong(st.st_ino)) + ' ';
    }
    const QByteArray pid = ' ' + QByteArray::number(::getpid()) + ' ';
    int count = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.contains(pid))
            count += std::any_of(inodes.begin(), inodes.end(), [&](const QByteArray& i) { return line.contains(i); });
    return count;
}

} // namespace

// Every kind of file dialog, shown on the folder of a live database until the folder is listed,
// then cancelled, leaves SQLite's locks held; so does a file dialog that Qt opens by itself.
TEST(FileDialogs, ListingTheDatabaseFolderKeepsItsLocks)
{
    if (HeldLocks(QDir::tempPath()) < 0)
        GTEST_SKIP() << "/proc/locks cannot be read";
    GuardFileDialogs();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locked"));
        db.setDatabaseName(folder + QStringLiteral("/LIR.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("pragma journal_mode=wal")));
        ASSERT_TRUE(q.exec(QStringLiteral("create table t (x int)")));
        ASSERT_TRUE(q.exec(QStringLiteral("insert into t values (1)")));
        QFile::copy(folder + QStringLiteral("/LIR.db"), folder + QStringLiteral("/LIRR.db"));
        const int before = HeldLocks(folder);
        ASSERT_GT(before, 0);

        const struct {
            const char* kind;
            std::function<void()> open;
            bool listsFiles;
        } cases[] = {
            {"open, XML files", [&] { ModalHook().getOpenFileName(nullptr, "", folder, "*.xml"); }, false},
            {"open", [&] { ModalHook().getOpenFileName(nullptr, "", folder, ""); }, true},
            {"open several", [&] { ModalHook().getOpenFileNames(nullptr, "", folder, ""); }, true},
            {"save", [&] { ModalHook().getSaveFileName(nullptr, "", folder + "/Import.xml", "", "xml"); }, true},
            {"folder", [&] { ModalHook().getExistingDirectory(nullptr, "", folder); }, false},
            {"Qt's own",
             [&] { QFileDialog::getOpenFileName(nullptr, "", folder, "", nullptr, QFileDialog::DontUseNativeDialog); },
             true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.kind);
            int during = -1;
            bool listed = false;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                auto* model = dialog->findChild<QFileSystemModel*>();
                ASSERT_NE(model, nullptr);
                // Long enough for the model's thread to list the folder and look at every file.
                static_cast<void>(QTest::qWaitFor([&] { return model->rowCount(model->index(folder)) >= 2; }, 10000));
                QTest::qWait(300);
                listed = model->index(folder + QStringLiteral("/LIR.db")).isValid();
                during = HeldLocks(folder);
                dialog->reject();
            });
            c.open();
            QTest::qWait(100);
            EXPECT_EQ(during, before);
            EXPECT_EQ(HeldLocks(folder), before);
            if (c.listsFiles) {
                EXPECT_TRUE(listed);
            }
        }
        // Another reader of the file afterwards still sees a database in use.
        EXPECT_TRUE(q.exec(QStringLiteral("insert into t values (2)")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locked"));
}

// Open dialogs start in the import folder, save dialogs in the export folder or where the last file
// was saved; a folder that is gone gives way to the one above it, and its name is never offered as
// a file name.
TEST(FileDialogs, StartWhereTheFileIsExpected)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    for (const char* sub : {"/Import", "/Export", "/Other"})
        ASSERT_TRUE(QDir().mkpath(root + sub));
    QFile existing(root + "/Import/forecast.xml");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    Settings().ImportDir = root + "/Import";
    Settings().ExportDir = root + "/Export";

    const struct {
        const char* path; // under the temporary folder when it starts with '/'
        bool save;
        const char* folder;
        const char* fileName;
    } cases[] = {
        {"", false, "/Import", ""},
        {"", true, "/Export", ""},
        {"/Other", false, "/Other", ""},
        {"/Import/forecast.xml", false, "/Import", "forecast.xml"},
        {"/Import/gone.xml", false, "/Import", ""},
        {"/Missing", false, "", ""},
        {"/Missing/Deeper", false, "", ""},
        {"/Other/Отчет.pdf", true, "/Other", "Отчет.pdf"},
        {"/Missing/Отчет.pdf", true, "", "Отчет.pdf"},
        {"Документ.doc", true, "/Export", "Документ.doc"},
    };
    for (const auto& c : cases) {
        const QString path = c.path[0] == '/' ? root + QString::fromUtf8(c.path) : QString::fromUtf8(c.path);
        const CFileDialogStart start = FileDialogStart(path, c.save);
        EXPECT_EQ(start.folder, root + QString::fromUtf8(c.folder)) << c.path;
        EXPECT_EQ(start.fileName, QString::fromUtf8(c.fileName)) << c.path;
    }

    // A real save dialog starts in the export folder with nothing typed; the next one starts where
    // the file was saved.
    QString shownFolder, shownName;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        shownName = name->text();
        dialog->selectFile(root + "/Other/report.txt");
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(ModalHook().getSaveFileName(nullptr, "", "", ""), root + "/Other/report.txt");
    EXPECT_EQ(shownFolder, root + "/Export");
    EXPECT_EQ(shownName, "");
    EXPECT_EQ(FileDialogStart("", true).folder, root + "/Other");
    EXPECT_EQ(FileDialogStart("", false).folder, root + "/Import");
}

// Qt's own windows speak Russian once the program has loaded Qt's translations.
TEST(QtTranslations, StandardButtonsAndFileDialogsAreRussian)
{
    if (!InstallQtTranslations())
        GTEST_SKIP() << "Qt's Russian translations (Debian's qt6-translations-l10n) are not installed";
    QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    const struct {
        QDialogButtonBox::StandardButton button;
        const char* text;
    } cases[] = {{QDialogButtonBox::Open, "Открыть"},
                 {QDialogButtonBox::Save, "Сохранить"},
                 {QDialogButtonBox::Cancel, "Отмена"}};
    for (const auto& c : cases)
        EXPECT_EQ(buttons.button(c.button)->text().remove(u'&'), QString::fromUtf8(c.text));
    QFileDialog dialog(nullptr, "", QDir::tempPath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QDialogButtonBox* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Save)->text().remove(u'&'), "Сохранить");
}
