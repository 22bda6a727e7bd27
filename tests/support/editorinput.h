#pragma once

// The editor input a load leaves in the fields: the decimal text of every number and the
// chosen row of every choice.

#include "image/imagefile.h"
#include "image/numbertext.h"

namespace stats::testing {

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
