#include "messages.h"

#include "catalogues/files/utf8.h"

namespace stats::app {

namespace {

using image::ErrorKind;

QString reasonOf(Action action, const image::ImageError &error)
{
    QString reason = QString::fromStdString(image::describeError(error, action));
    if (!reason.isEmpty()) {
        reason[0] = reason[0].toUpper();
    }
    return reason + QLatin1Char('.');
}

QString outcomeOf(Action action, const image::ImageError &error, const QString &entry)
{
    switch (action) {
    case Action::Open:
        return QStringLiteral("No image is open. Choose another file.");
    case Action::Load:
        return QStringLiteral("Nothing was loaded, and the fields were emptied so that they show "
                              "no other entry's values.");
    case Action::Save:
    case Action::ReadTable:
    case Action::Import:
        break;
    }
    switch (image::heldAfterFailure(error.kind)) {
    case image::HeldAfterFailure::NewBytes:
        return QStringLiteral("The new values of \"%1\" were written, but the disk did not "
                              "confirm them; they may be lost if the system stops now. Save "
                              "again to be sure.")
            .arg(entry);
    case image::HeldAfterFailure::Unknown:
        if (error.kind == ErrorKind::NotAsWritten) {
            return QStringLiteral("Click \"%1\" again to see what the image holds, and save "
                                  "again once no other program changes it.")
                .arg(entry);
        }
        if (error.kind == ErrorKind::LengthChanged) {
            return QStringLiteral("The values of \"%1\" were written into the file as it is now, "
                                  "or put back where it still held them. Check the image before "
                                  "you rely on it, and save again once no other program changes "
                                  "it.")
                .arg(entry);
        }
        return QStringLiteral("Putting the old values back failed too, so the entry \"%1\" may "
                              "be half-written. Save it again once the problem is solved.")
            .arg(entry);
    case image::HeldAfterFailure::OldBytes:
        break;
    }
    if (error.kind == ErrorKind::WriteFailed) {
        return QStringLiteral("The entry's old values were put back: nothing in the image "
                              "changed.");
    }
    if (error.kind == ErrorKind::ChangedSinceLoad) {
        return QStringLiteral("Nothing was saved. Click \"%1\" again to load it.").arg(entry);
    }
    return QStringLiteral("Nothing was saved.");
}

QString headlineOf(Action action, const image::ImageError &error)
{
    switch (action) {
    case Action::Open:
        return QStringLiteral("The file cannot be read:");
    case Action::Load:
        return QStringLiteral("The entry cannot be loaded from the image:");
    case Action::Save:
    case Action::ReadTable:
    case Action::Import:
        break;
    }
    switch (error.kind) {
    case ErrorKind::CannotOpen:
        return QStringLiteral("The image cannot be opened for writing:");
    case ErrorKind::WriteFailed:
    case ErrorKind::WriteFailedDirty:
        return QStringLiteral("Writing to the image failed:");
    case ErrorKind::FlushFailed:
        return QStringLiteral("Saving could not be completed:");
    case ErrorKind::LengthChanged:
    case ErrorKind::NotAsWritten:
        return QStringLiteral("The image changed while it was saved:");
    case ErrorKind::NoFile:
    case ErrorKind::NotAFile:
    case ErrorKind::CannotRead:
    case ErrorKind::NotSupported:
    case ErrorKind::RecordMissing:
    case ErrorKind::RowOutOfRange:
    case ErrorKind::ChangedSinceLoad:
    case ErrorKind::Busy:
    case ErrorKind::Replaced:
        break;
    }
    return QStringLiteral("The entry cannot be saved into the image:");
}

} // namespace

QString shownPath(std::string_view path)
{
    return QString::fromStdString(catalogues::shownEscaped(path));
}

QString failureMessage(Action action, const image::ImageError &error, std::string_view path,
                       const QString &entry)
{
    return headlineOf(action, error) + QLatin1Char('\n') + shownPath(path) +
           QStringLiteral("\n\n") + reasonOf(action, error) + QStringLiteral("\n\n") +
           outcomeOf(action, error, entry);
}

QString unlistedValuesMessage(const QString &entry, const QStringList &fields)
{
    return QStringLiteral("Some values of \"%1\" have no row in their lists, so their boxes show "
                          "them as numbers:\n\n%2\n\nA save keeps each of these values as it is "
                          "until you choose a row of its list.")
        .arg(entry, fields.join(QLatin1Char('\n')));
}

} // namespace stats::app
