#include "image/errortext.h"

#include <cerrno>

namespace stats::image {

namespace {

using platform::systemReason;

std::string_view activityName(Activity activity)
{
    switch (activity) {
    case Activity::Open:
        return "the open";
    case Activity::Load:
        return "the load";
    case Activity::Save:
        return "the save";
    case Activity::ReadTable:
        return "the read";
    case Activity::Import:
        return "the import";
    }
    return {};
}

} // namespace

std::string describeError(const ImageError &error, Activity activity)
{
    const bool wholeTable = activity == Activity::ReadTable || activity == Activity::Import;
    const bool wasOpen = activity != Activity::Open && activity != Activity::ReadTable;
    switch (error.kind) {
    case ErrorKind::NoFile:
        return systemReason(error.osError == 0 ? ENOENT : error.osError);
    case ErrorKind::NotAFile:
        return "it is a folder or a special file, not an image file";
    case ErrorKind::NotSupported:
        return std::string("it is not a supported image: it does not carry the game code QVZT") +
               (wasOpen ? "; it may have been replaced by another file" : "");
    case ErrorKind::RecordMissing:
        return std::string("the file ends before ") +
               (wholeTable ? "the end of the stats table" : "this entry's record") +
               "; it may be cut short";
    case ErrorKind::CannotOpen:
        return "it cannot be opened: " + systemReason(error.osError);
    case ErrorKind::CannotRead:
        return "it cannot be read: " + systemReason(error.osError);
    case ErrorKind::RowOutOfRange:
        return "the entry lies outside its list";
    case ErrorKind::ChangedSinceLoad:
        return wholeTable ? std::string("entries changed in the image while the import ran")
                          : std::string("the entry changed in the file since it was loaded");
    case ErrorKind::Busy:
        return "another program is writing this image; try again when it is done";
    case ErrorKind::Replaced:
        return "the file at this path was moved, deleted or replaced while " +
               std::string(activityName(activity)) + " ran";
    case ErrorKind::LengthChanged:
        return "its length changed from " + std::to_string(error.oldLength) + " to " +
               std::to_string(error.newLength) + " bytes while " +
               std::string(activityName(activity)) + " wrote: another program cut or extended it";
    case ErrorKind::NotAsWritten:
        if (error.osError != 0 || (!error.found && !wholeTable)) {
            return "the values were written, but reading them back failed: " +
                   systemReason(error.osError) + ", so what the image holds now is unknown";
        }
        return std::string("after ") + std::string(activityName(activity)) +
               " wrote, the image did not hold what was written: another program changed it "
               "meanwhile" +
               (error.found ? "; the entry now holds " + describeFound(*error.found) : "");
    case ErrorKind::WriteFailed:
    case ErrorKind::WriteFailedDirty:
    case ErrorKind::FlushFailed:
        return systemReason(error.osError);
    }
    return systemReason(error.osError);
}

std::string describeFound(const RecordFound &found)
{
    std::string fields;
    switch (found.fields) {
    case FieldsFound::New:
        fields = "its new values";
        break;
    case FieldsFound::Old:
        fields = "its old values";
        break;
    case FieldsFound::Other:
        fields = "values that are neither its old nor its new ones";
        break;
    }
    return found.restChanged ? fields + (found.fields == FieldsFound::New ? ", but" : ", and") +
                                   " other bytes of its record changed"
                             : fields;
}

} // namespace stats::image
