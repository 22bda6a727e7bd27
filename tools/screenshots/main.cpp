// make-screenshots IMAGE OUTDIR: renders the README's two pictures of the editor, collapsed
// and expanded, with an entry of IMAGE loaded through the window's own open dialog.

#include "controls.h"
#include "form1.h"
#include "layout.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// Types the image's path into the open dialog once it shows and confirms it.
void answerOpenDialog(const QString &path)
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            name->setText(path);
        }
        static_cast<QDialog *>(dialog)->accept();
        timer->deleteLater();
    });
    timer->start(10);
}

bool save(QWidget &window, const QString &file)
{
    QApplication::processEvents();
    return window.grab().save(file);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-screenshots IMAGE OUTDIR\n");
        return 2;
    }
    const QString image = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));

    stats::app::Form1 window(stats::catalogues::builtInCatalogues());
    window.show();
    answerOpenDialog(image);
    window.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    window.findChild<stats::app::EntryList *>(QStringLiteral("List1"))->selectRow(3);
    window.findChild<QPushButton *>(QStringLiteral("Command1"))->setFocus();

    if (!save(window, out.filePath(QStringLiteral("collapsed.png")))) {
        return 1;
    }
    window.findChild<QPushButton *>(QStringLiteral("Command7"))->click();
    return save(window, out.filePath(QStringLiteral("expanded.png"))) ? 0 : 1;
}
