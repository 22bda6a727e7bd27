#pragma once

// The record bytes the tests look at: where a field of a row lies in the image, and the editor
// input a load leaves in the fields (the decimal text of every number, the chosen row of every
// choice).

#include "image/imagefile.h"
#include "image/numbertext.h"

namespace stats::testing {

/// The file offset of @p field in row @p row of @p range, for a row the range has.
[[nodiscard]] inline std::int64_t offsetOf(image::Range range, int row, image::Field field)
{
    return *image::fieldPosition(range, static_cast<std::int16_t>(row),
                                 image::fieldInfo(field).offset);
}

[[nodiscard]] inline image::EditorInput editorInputOf(const image::FieldBytes &bytes)
{
    image::EditorInput input;
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        if (image::kFields[i].kind == image::FieldKind::Number) {
            input[i].text = image::numberText(bytes[i]);
        } else {
            input[i].position = bytes[i];
        }
    }
    return input;
}

} // namespace stats::testing
