#include "ui/PlaySound.h"

#include "ui/SoundPlayer.h"
#include "ui/WaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <memory>

namespace {

// Sound files are small; a larger file is not a ring tone and would only hold memory.
constexpr qint64 MaximumFileBytes = 16 * 1024 * 1024;

QFileInfo Executable()
{
    // /proc works before and without a QApplication, unlike applicationDirPath().
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? QFileInfo(self.symLinkTarget()) : QFileInfo();
}

QString FindSoundFile(const QString& name)
{
    if (QDir::isAbsolutePath(name))
        return QFileInfo(name).isFile() ? name : QString();
    const QFileInfo executable = Executable();
    const QString besideExecutable = QDir(executable.absolutePath()).filePath(name);
    if (QFileInfo(besideExecutable).isFile())
        return besideExecutable;
    // An installed program keeps its data in <prefix>/share/<program>/ rather than beside itself in bin/.
    const QString installed
        = QDir(executable.absolutePath()).filePath(QStringLiteral("../share/") + executable.fileName() + u'/' + name);
    if (QFileInfo(installed).isFile())
        return QDir::cleanPath(installed);
    const QString inWorkingDirectory = QDir::current().filePath(name);
    return QFileInfo(inWorkingDirectory).isFile() ? inWorkingDirectory : QString();
}

} // namespace

BOOL PlaySound(const char16_t* name, UINT flags)
{
    if (!name) {
        SoundPlayer::Instance().Play(nullptr);
        return TRUE;
    }
    const QString path = FindSoundFile(QString::fromUtf16(name));
    if (path.isEmpty())
        return FALSE;
    QFile file(path);
    if (file.size() > MaximumFileBytes || !file.open(QIODevice::ReadOnly))
        return FALSE;
    const QByteArray bytes = file.readAll();
    auto sound = std::make_shared<WaveFile>();
    if (!sound->Parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size()))))
        return FALSE;
    const std::uint64_t ticket = SoundPlayer::Instance().Play(std::move(sound));
    if (!(flags & SND_ASYNC))
        SoundPlayer::Instance().WaitFor(ticket);
    return TRUE;
}
