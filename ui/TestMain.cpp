#include "ui/DialogFont.h"

#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

namespace {

// Qt wants a private runtime directory and refuses (loudly) one that others may read.
std::string EnsureRuntimeDirectory()
{
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    struct stat info { };
    if (current && *current && ::stat(current, &info) == 0 && S_ISDIR(info.st_mode)
        && (info.st_mode & 0077) == 0)
        return {};
    char pattern[] = "/tmp/ui-tests-XXXXXX";
    if (!::mkdtemp(pattern))
        return {};
    ::chmod(pattern, 0700);
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
    return pattern;
}

} // namespace

// The main of Qt test executables (target ui_test_main): a QApplication on the offscreen platform
// unless the environment picks another, with the dialogs' font.
int main(int argc, char** argv)
{
    const std::string ownRuntimeDirectory = EnsureRuntimeDirectory();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        if (!ApplyDialogFont())
            std::fprintf(
                stderr, "ERROR: no real font (DejaVu Sans) found; text measurements are meaningless\n");
        result = RUN_ALL_TESTS();
    }
    if (!ownRuntimeDirectory.empty())
        QDir(QString::fromStdString(ownRuntimeDirectory)).removeRecursively();
    return result;
}
