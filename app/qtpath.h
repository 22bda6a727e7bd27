#pragma once

/// @file
/// Paths between Qt's text and the programs' own path type, which holds UTF-8 on every
/// system. QFile::encodeName is not that on Windows: it gives the process's code page, which
/// is UTF-8 only where Windows honours our manifest's setting (10 1903 and later), and loses
/// a name outside it elsewhere.

#include "platform/path.h"

#include <QString>

namespace stats::app {

[[nodiscard]] inline platform::Path pathOf(const QString &name)
{
    return name.toStdString();
}

[[nodiscard]] inline QString textOf(const platform::Path &path)
{
    return QString::fromStdString(path.text());
}

} // namespace stats::app
