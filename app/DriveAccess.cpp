#include "DriveAccess.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QWidget>
#include <thread>

namespace quorvex::app {

namespace {

QString WaysToReadWithoutAsking()
{
    return "To read drives without being asked, add your user to the 'disk' group<br>"
           "(sudo adduser $USER disk, then log in again; members can also write to disks, so take care).<br><br>"
           "Or copy the card once into an image file and scan the image: image files need no rights.";
}

}  // namespace

DriveAccess::DriveAccess(const MainDialogEnvironment& env,
                         std::function<VolumeOpener(const VolumeDescription&)> plainOpener, QWidget* window)
    : env_(env), plainOpener_(std::move(plainOpener)), window_(window)
{
}

bool DriveAccess::EnsureReadable(const VolumeDescription& drive)
{
    if (drive.kind == VolumeKind::DiskImage || grants_.contains(drive.path))
        return true;
    const VolumeOpenResult opened = plainOpener_(drive)();
    if (opened.ok() || opened.failure != OpenFailure::PermissionDenied)
        return true;

    const QString name = QString::fromStdString(drive.RowText()).toHtmlEscaped();
    if (!env_.requestDeviceAccess) {
        env_.notice("Quorvex may not read " + name + ": reading a drive needs permission.<br><br>" +
                    WaysToReadWithoutAsking());
        return false;
    }
    if (!env_.ask("Reading " + name + " needs your permission.<br><br>Allow access? Your system asks for an "
                  "administrator's password;<br>Quorvex keeps running as you and only reads the drive."))
        return false;

    access::AccessReply reply = Request(drive.path);
    if (reply.outcome == access::AccessOutcome::Granted && !OpenedReadOnly(reply.fd.Get())) {
        reply.outcome = access::AccessOutcome::Failed;
        reply.message = "the drive was opened for writing, so Quorvex did not use it";
    }
    if (reply.outcome != access::AccessOutcome::Granted) {
        env_.notice("Quorvex could not get permission to read " + name + ": " +
                    QString::fromStdString(reply.message).toHtmlEscaped() + ".<br><br>" + WaysToReadWithoutAsking());
        return false;
    }
    auto device = std::make_shared<GrantedDevice>();
    device->path = drive.path;
    device->fd = std::move(reply.fd);
    grants_[drive.path] = std::move(device);
    return true;
}

VolumeOpener DriveAccess::OpenerFor(const VolumeDescription& drive) const
{
    if (const auto grant = grants_.find(drive.path); grant != grants_.end())
        return OpenerForGrantedDevice(grant->second);
    return plainOpener_(drive);
}

access::AccessReply DriveAccess::Request(const std::string& devicePath)
{
    // The system may show a password dialog for minutes: the window keeps drawing meanwhile, but
    // takes no input.
    auto reply = std::make_shared<access::AccessReply>();
    QEventLoop waiting;
    std::thread asking([request = env_.requestDeviceAccess, devicePath, reply, &waiting] {
        *reply = request(devicePath);
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (window_)
        window_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    waiting.exec();
    QApplication::restoreOverrideCursor();
    if (window_)
        window_->setEnabled(true);
    asking.join();
    return std::move(*reply);
}

}  // namespace quorvex::app
