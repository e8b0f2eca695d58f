#include "PrivateTempFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex::preview {

namespace {

bool IsPrivateDirectory(const QByteArray& path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 0077) == 0;
}

}  // namespace

QString PrivateTempFolder()
{
    static const QString folder = [] {
        const QString path = QDir::tempPath() + QString("/quorvex-%1").arg(::getuid());
        const QByteArray native = QFile::encodeName(path);
        ::mkdir(native.constData(), 0700);
        if (IsPrivateDirectory(native))
            return path;
        // Someone else's, a link, or open to others: make a fresh one that is ours.
        static QTemporaryDir fallback(QDir::tempPath() + "/quorvex-XXXXXX");
        return fallback.path();
    }();
    return folder;
}

}  // namespace quorvex::preview
