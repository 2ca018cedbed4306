// SPDX-License-Identifier: MIT
// Where recordings go: beside the program when it may create files there, otherwise in the
// user's documents folder.

#include "recording_directory.h"
#include "test_form.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Whether creating a file in `directory` really works, tried with a plain file of a different
// name than the probe's, so the answer does not come from the code under test.
bool plainFileCanBeCreated(const QString &directory)
{
    QFile file(QDir(directory).filePath(QStringLiteral("independent-check")));
    const bool created = file.open(QIODevice::WriteOnly);
    if (created)
        file.remove();
    return created;
}

TEST(RecordingDirectory, ProgramDirectoryWhenWritableOtherwiseDocuments)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString program = root.filePath(QStringLiteral("bin"));
    const QString existingDocuments = root.filePath(QStringLiteral("Documents"));
    ASSERT_TRUE(QDir().mkpath(existingDocuments));
    const QString missingDocuments = root.filePath(QStringLiteral("home/user/Documents"));

    struct Case {
        const char *name;
        bool programWritable;
        QString documents;
        QString expected;
    };
    const Case cases[] = {
        {"writable program directory", true, existingDocuments, program},
        {"writable program directory, documents missing", true, missingDocuments, program},
        {"read-only program directory", false, existingDocuments, existingDocuments},
        {"read-only program directory, documents missing", false, missingDocuments, missingDocuments},
        {"read-only program directory, no documents folder known", false, QString(), program},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList asked;
        const QString chosen = chooseRecordingDirectory(program, c.documents, [&](const QString &dir) {
            asked << dir;
            return c.programWritable;
        });
        EXPECT_EQ(chosen, c.expected);
        EXPECT_EQ(asked, QStringList{program}); // only the program's directory is probed
    }
    // The documents folder is made only when it is going to be used.
    EXPECT_TRUE(QFileInfo(missingDocuments).isDir());
}

TEST(RecordingDirectory, MissingDocumentsFolderIsNotCreatedWhenTheProgramDirectoryIsUsed)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString documents = root.filePath(QStringLiteral("Documents"));
    chooseRecordingDirectory(root.path(), documents, [](const QString &) { return true; });
    EXPECT_FALSE(QFileInfo::exists(documents));
}

TEST(RecordingDirectory, ProbeCreatesAFileAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(directoryAcceptsNewFiles(dir.path()));
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
}

TEST(RecordingDirectory, ProbeRefusesMissingOrUnnamedDirectories)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(directoryAcceptsNewFiles(dir.filePath(QStringLiteral("not-there"))));
    EXPECT_FALSE(directoryAcceptsNewFiles(QString()));
    // A file is not a directory to write into.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(directoryAcceptsNewFiles(plain.fileName()));
}

// An installed program's directory: mode 0555. Root (as in many CI containers) writes there
// anyway, so the probe's answer is compared with a real write, and without root privileges it
// must be "no".
TEST(RecordingDirectory, ProbeOfAReadOnlyDirectoryMatchesARealWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    const bool probed = directoryAcceptsNewFiles(dir.path());
    EXPECT_EQ(probed, plainFileCanBeCreated(dir.path()));
    if (geteuid() != 0) {
        EXPECT_FALSE(probed);
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // With the directory-level check the decision follows: the documents folder for a user.
    const QString documents = dir.filePath(QStringLiteral("Documents"));
    EXPECT_EQ(chooseRecordingDirectory(dir.path(), documents,
                                       [probed](const QString &) { return probed; }),
              probed ? dir.path() : documents);
}

// A directory that refuses new files whoever asks, root included.
TEST(RecordingDirectory, ProbeOfADirectoryNobodyCanWriteIsNo)
{
    const QString procfs = QStringLiteral("/proc");
    if (!QFileInfo(procfs).isDir() || plainFileCanBeCreated(procfs))
        GTEST_SKIP() << "no /proc that refuses new files here";
    EXPECT_FALSE(directoryAcceptsNewFiles(procfs));
}

// The window asks for the program's directory and the documents folder. The test program sits
// in its build tree, writable for whoever built it; for another user it is read-only, and the
// recording goes to the documents folder, here in a home directory of the test's own.
class DirectoryForm : public TestForm {
public:
    using TestForm::recordingDirectory;
};

TEST(RecordingDirectory, WindowChoosesBetweenTheProgramsDirectoryAndDocuments)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (hadConfig)
            qputenv("XDG_CONFIG_HOME", oldConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
    });
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_CONFIG_HOME");
    const QString program = QCoreApplication::applicationDirPath();
    const QString documents = home.filePath(QStringLiteral("Documents"));

    DirectoryForm form;
    const QString chosen = form.recordingDirectory();
    EXPECT_EQ(chosen, directoryAcceptsNewFiles(program) ? program : documents);
    EXPECT_TRUE(QFileInfo(chosen).isDir());
}

} // namespace
