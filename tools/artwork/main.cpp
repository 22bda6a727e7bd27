// make-artwork OUTDIR: writes the editor's background picture and icons into OUTDIR.

#include "tools/artwork/artwork.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Image format plugins (the JPEG writer) are found through the application object; no
    // window system is needed, so a core application will do.
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: make-artwork OUTDIR\n", stderr);
        return 2;
    }
    const auto written = stats::tools::artwork::writeArtwork(arguments.at(1));
    if (!written) {
        std::fprintf(stderr, "make-artwork: cannot write %s: %s\n",
                     qPrintable(QDir::toNativeSeparators(written.error().path)),
                     qPrintable(written.error().reason));
        return 1;
    }
    return 0;
}
