#include "form1.h"

#include "controls.h"
#include "entrycommands.h"
#include "layout.h"
#include "messages.h"
#include "qtpath.h"
#include "settings.h"

#include "image/numbertext.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <future>
#include <limits>

namespace stats::app {

namespace {

using image::Field;
using image::FieldKind;
using image::Range;

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The families a font asks for: the first of its list that is installed, the face Qt would end
// up with, or the whole list when none is. For a family that is not installed, Qt sorts all of
// fontconfig's fallbacks before it tries the next family of the list, and it sorts them again
// for every face it opens while the list names more than one family: a tenth of the work
// before the first frame.
QStringList familiesOf(const FontSpec &face)
{
    QStringList families;
    for (const auto family : face.families) {
        families << QString::fromLatin1(family.data(), static_cast<qsizetype>(family.size()));
    }
    for (const QString &family : families) {
        if (!QFontDatabase::styles(family).isEmpty()) {
            return {family};
        }
    }
    return families;
}

QFont fontFor(FontKey key)
{
    // Looked up once per process: the installed fonts do not change under a running window.
    static const auto families = [] {
        std::array<QStringList, kFonts.size()> lists;
        for (std::size_t i = 0; i < kFonts.size(); ++i) {
            lists[i] = familiesOf(kFonts[i]);
        }
        return lists;
    }();
    const auto index = static_cast<std::size_t>(key);
    const auto &face = kFonts[index];
    QFont font;
    font.setFamilies(families[index]);
    font.setPointSizeF(face.points);
    font.setBold(face.bold);
    font.setItalic(face.italic);
    if (face.smallCaps) {
        font.setCapitalization(QFont::SmallCaps);
    }
    return font;
}

// What a person calls each field, for messages and for screen readers.
struct FieldText
{
    Field field;
    std::string_view name;
    std::string_view description;
};

constexpr std::array<FieldText, image::kFieldCount> kFieldTexts{{
    {Field::hp, "Hp", "Base hit points, 0 to 255"},
    {Field::atk, "Attack", "Base attack, 0 to 255"},
    {Field::def, "Defense", "Base defense, 0 to 255"},
    {Field::spd, "Speed", "Base speed, 0 to 255"},
    {Field::spatk, "Sp.atk", "Base special attack, 0 to 255"},
    {Field::spdef, "Sp.def", "Base special defense, 0 to 255"},
    {Field::ty1, "Type 1", "First type"},
    {Field::ty2, "Type 2", "Second type"},
    {Field::cr, "Catch Rate", "Catch rate, 0 to 255"},
    {Field::wh1, "Wild hold item 1", "First item a wild one may hold"},
    {Field::wh2, "Wild hold item 2", "Second item a wild one may hold"},
    {Field::gr, "Gender",
     "Gender ratio: 255 genderless, 254 always female, 127 half male and half "
     "female, 0 always male"},
    {Field::ab1, "Ability 1", "First ability"},
    {Field::ab2, "Ability 2", "Second ability"},
    {Field::dw, "Dream World", "Dream World ability"},
}};

static_assert([] {
    for (std::size_t i = 0; i < kFieldTexts.size(); ++i) {
        if (kFieldTexts[i].field != image::kFields[i].field) {
            return false;
        }
    }
    return true;
}());

// Names and descriptions for the focusable controls that are not editor fields.
struct ControlText
{
    std::string_view control;
    std::string_view name;
    std::string_view description;
};

constexpr std::array<ControlText, 14> kControlTexts{{
    {"Command1", "Open Rom", "Choose the game image to edit; the fields keep their values"},
    {"Command2", "Save List 1", "Write the fields into the entry selected in List 1"},
    {"Command3", "Save List 2", "Write the fields into the entry selected in List 2"},
    {"Command9", "Save Alternate forms",
     "Write the fields into the entry selected in Alternate forms"},
    {"Command4", "Search List 1", "Select the List 1 entry named in the box above"},
    {"Command5", "Search List 2", "Select the List 2 entry named in the box above"},
    {"Command6", "Hide Search", "Hide the search and save area"},
    {"Command7", "Show Search", "Show the search and save area"},
    {"Command8", "Exit", "Close the editor, asking first about unsaved changes"},
    {"List1", "List 1", "Entries of List 1; selecting one loads its values"},
    {"List2", "List 2", "Entries of List 2; selecting one loads its values"},
    {"List3", "Alternate forms", "Alternate forms; selecting one loads its values"},
    {"Text1", "Search List 1", "Exact name of a List 1 entry"},
    {"Text2", "Search List 2", "Exact name of a List 2 entry"},
}};

QStringList rowsOf(const catalogues::Catalogue &catalogue)
{
    QStringList rows;
    rows.reserve(catalogue.rowCount());
    for (const auto text : catalogue.rows()) {
        rows << fromView(text);
    }
    return rows;
}

const QString &backgroundPath()
{
    static const QString path = QStringLiteral(":/background.jpg");
    return path;
}

// The part of the background picture a window of the largest client size shows when each
// pixel of it is @p ratio device pixels: the picture is drawn one picture pixel to one device
// pixel from the top-left corner.
QRect visiblePicture(qreal ratio)
{
    const QSizeF client(pixels(kClientWidth), pixels(kClientHeightExpanded));
    return {0, 0, static_cast<int>(std::ceil(client.width() * ratio)),
            static_cast<int>(std::ceil(client.height() * ratio))};
}

// Decodes only @p part of the picture; the decoder stops after the last row it needs.
QImage decodePicture(const QRect &part)
{
    QImageReader reader(backgroundPath());
    reader.setClipRect(part.intersected(QRect(QPoint(0, 0), reader.size())));
    return reader.read();
}

// The picture's whole size, from its header, read once.
QSize pictureSize()
{
    static const QSize size = QImageReader(backgroundPath()).size();
    return size;
}

QRect geometryOf(const ControlSpec &entry)
{
    return {pixels(entry.left), pixels(entry.top), pixels(entry.width), pixels(entry.height)};
}

bool isLabel(ControlKind kind)
{
    return kind == ControlKind::Label || kind == ControlKind::ClickLabel ||
           kind == ControlKind::OpaqueLabel;
}

QWidget *createControl(const ControlSpec &entry, QWidget *parent)
{
    const QString caption = fromView(entry.caption);
    switch (entry.kind) {
    case ControlKind::Button:
        return new QPushButton(caption, parent);
    case ControlKind::FaceButton: {
        auto *button = new QPushButton(caption, parent);
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, QColor(192, 192, 192));
        button->setPalette(palette);
        return button;
    }
    case ControlKind::HollowButton:
        return new HollowButton(caption, parent);
    case ControlKind::Label:
    case ControlKind::ClickLabel:
    case ControlKind::OpaqueLabel: {
        QLabel *label = entry.kind == ControlKind::ClickLabel ? new ClickLabel(caption, parent)
                                                              : new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        label->setForegroundRole(QPalette::ButtonText);
        if (entry.kind == ControlKind::OpaqueLabel) {
            label->setAutoFillBackground(true);
            label->setBackgroundRole(QPalette::Button);
        }
        return label;
    }
    case ControlKind::EditBox: {
        auto *edit = new QLineEdit(parent);
        edit->setMaxLength(std::numeric_limits<int>::max());
        return edit;
    }
    case ControlKind::ChoiceBox:
        return new ChoiceBox(parent);
    case ControlKind::EntryList:
        return new EntryList(parent);
    }
    return nullptr;
}

enum class UnsavedAnswer { Save, Discard, Cancel };

UnsavedAnswer askAboutUnsavedEdits(QWidget *parent, const QString &entry, const QString &list)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("Save the changes to %1 in %2?").arg(entry, list));
    box.setInformativeText(QStringLiteral("Your changes are lost if you don't save them."));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return UnsavedAnswer::Save;
    case QMessageBox::Discard:
        return UnsavedAnswer::Discard;
    default: // Cancel, Escape and the box's close button
        return UnsavedAnswer::Cancel;
    }
}

// The image file that @p data carries: one local file named like an image. Anything else is
// left to the control it is dropped on, so that a stray drop cannot end the program with
// "Unsupported Rom".
std::optional<QString> droppedImage(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) {
        return std::nullopt;
    }
    QString path = urls.first().toLocalFile();
    if (!path.endsWith(QStringLiteral(".nds"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    return path;
}

} // namespace

Form1::Form1(const catalogues::CatalogueSet &names, image::FileApi &files, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_names(names), m_session(m_names, files)
{
    // The picture is decoded on another core while the fonts are found and the controls are
    // made (or at the end, when no thread can be started), and only the part the window can
    // show on the screens there are. It starts first, so that it has ended by the time the
    // window needs it.
    qreal ratio = 1;
    for (const QScreen *screen : QGuiApplication::screens()) {
        ratio = std::max(ratio, screen->devicePixelRatio());
    }
    auto picture = std::async(std::launch::async | std::launch::deferred,
                              [part = visiblePicture(ratio)] { return decodePicture(part); });

    setObjectName(QStringLiteral("Form1"));
    // Qt shows the placeholder as a star while edits are unsaved; in front, the title still
    // ends in the application's name, so the window system adds no second one.
    setWindowTitle(QStringLiteral("[*]") + fromView(kWindowTitle));
    setWindowIcon(QIcon(QStringLiteral(":/stats-editor.ico")));
    setFont(fontFor(FontKey::W));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(palette);
    setClientHeight(kClientHeightAtStart);

    createLines();
    createControls();
    fillCatalogues();
    setTabOrderFromLayout();
    connectActions();
    new EntryCommands(*this, files);
    for (auto *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(true);
    }
    Command1->setFocus();
    m_background = picture.get();
}

Form1::~Form1()
{
    // The controls are destroyed after the members, and each moves the focus as it goes.
    disconnect(qApp, nullptr, this, nullptr);
}

void Form1::createLines()
{
    for (const auto &line : allLines()) {
        auto *widget = new QWidget(this);
        widget->setObjectName(fromView(line.name));
        // A line runs the full length of its edge, both end points included.
        widget->setGeometry(pixels(line.x1), pixels(line.y1), pixels(line.x2) - pixels(line.x1) + 1,
                            pixels(line.y2) - pixels(line.y1) + 1);
        widget->setAutoFillBackground(true);
        widget->setBackgroundRole(QPalette::WindowText);
        widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

void Form1::createControls()
{
    // Labels lie on the picture with the lines; every other control lies above them.
    for (const bool labels : {true, false}) {
        for (const auto &entry : kControls) {
            if (isLabel(entry.kind) != labels) {
                continue;
            }
            QWidget *control = createControl(entry, this);
            control->setObjectName(fromView(entry.name));
            control->setGeometry(geometryOf(entry));
            // Most controls use the window's own font, which they inherit. Setting it on them
            // again would make every choice box build its drop-down list now, before the first
            // frame, rather than when it is first opened.
            const QFont font = fontFor(entry.font);
            if (font != control->font()) {
                control->setFont(font);
            }
            if (entry.name == "Label19") {
                QPalette palette = control->palette();
                palette.setColor(QPalette::WindowText, Qt::black);
                control->setPalette(palette);
                control->setForegroundRole(QPalette::WindowText);
            }
        }
    }
    const auto find = [this](const char *name) {
        return findChild<QWidget *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    };
    Command1 = qobject_cast<QPushButton *>(find("Command1"));
    Command2 = qobject_cast<QPushButton *>(find("Command2"));
    Command3 = qobject_cast<QPushButton *>(find("Command3"));
    Command4 = qobject_cast<QPushButton *>(find("Command4"));
    Command5 = qobject_cast<QPushButton *>(find("Command5"));
    Command6 = qobject_cast<QPushButton *>(find("Command6"));
    Command7 = qobject_cast<QPushButton *>(find("Command7"));
    Command8 = qobject_cast<QPushButton *>(find("Command8"));
    Command9 = qobject_cast<QPushButton *>(find("Command9"));
    List1 = qobject_cast<EntryList *>(find("List1"));
    List2 = qobject_cast<EntryList *>(find("List2"));
    List3 = qobject_cast<EntryList *>(find("List3"));
    Text1 = qobject_cast<QLineEdit *>(find("Text1"));
    Text2 = qobject_cast<QLineEdit *>(find("Text2"));
    Label10 = qobject_cast<ClickLabel *>(find("Label10"));
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        QWidget *control = find(image::kFields[i].name.data());
        // The layout gives every field the control of its kind, which the build checks.
        switch (image::kFields[i].kind()) {
        case FieldKind::Number:
            m_fields[i].edit = qobject_cast<QLineEdit *>(control);
            break;
        case FieldKind::Choice:
            m_fields[i].choice = qobject_cast<ChoiceBox *>(control);
            break;
        }
        control->setAccessibleName(fromView(kFieldTexts[i].name));
        control->setAccessibleDescription(fromView(kFieldTexts[i].description));
    }
    for (const auto &text : kControlTexts) {
        QWidget *control = find(text.control.data());
        control->setAccessibleName(fromView(text.name));
        control->setAccessibleDescription(fromView(text.description));
    }
}

void Form1::fillCatalogues()
{
    for (const auto &range : image::kRanges) {
        auto *model = new CatalogueModel(rowsOf(m_names.entries(range.range)), this);
        listOf(range.range)->setModel(model);
    }
    // Boxes that show the same list share one model, built once.
    std::array<CatalogueModel *, image::kValueListCount> models{};
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const auto list = image::kFields[i].list;
        if (!list) {
            continue;
        }
        CatalogueModel *&model = models[static_cast<std::size_t>(*list)];
        if (model == nullptr) {
            model = new CatalogueModel(rowsOf(m_names.values(*list)), this);
        }
        m_fields[i].choice->setCatalogue(model);
    }
}

void Form1::setTabOrderFromLayout()
{
    std::vector<const ControlSpec *> focusable;
    for (const auto &entry : kControls) {
        if (!isLabel(entry.kind)) {
            focusable.push_back(&entry);
        }
    }
    std::ranges::sort(focusable, {}, &ControlSpec::tabIndex);
    QWidget *previous = nullptr;
    for (const ControlSpec *entry : focusable) {
        auto *control = findChild<QWidget *>(fromView(entry->name), Qt::FindDirectChildrenOnly);
        if (previous != nullptr) {
            setTabOrder(previous, control);
        }
        previous = control;
    }
}

void Form1::connectActions()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::openRom);
    for (const auto &info : image::kRanges) {
        connect(listOf(info.range), &EntryList::rowPicked, this,
                [this, range = info.range](int row) { pickRow(range, row); });
    }
    connect(Command2, &QPushButton::clicked, this, [this] { saveEntry(Range::List1); });
    connect(Command3, &QPushButton::clicked, this, [this] { saveEntry(Range::List2); });
    connect(Command9, &QPushButton::clicked, this, [this] { saveEntry(Range::AlternateForms); });
    // The callers hand over a copy of the box's text; the search never touches the box.
    connect(Command4, &QPushButton::clicked, this, [this] { FindItem(List1, Text1->text()); });
    connect(Command5, &QPushButton::clicked, this, [this] { FindItem(List2, Text2->text()); });
    connect(Command6, &QPushButton::clicked, this,
            [this] { setClientHeight(kClientHeightCollapsed); });
    connect(Command7, &QPushButton::clicked, this,
            [this] { setClientHeight(kClientHeightExpanded); });
    connect(Command8, &QPushButton::clicked, this, &QWidget::close);
    connect(Label10, &ClickLabel::clicked, this, &Form1::showGenderHelp);
    guardUnsavedEdits();
}

void Form1::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    // A screen with more device pixels to the pixel than any at start shows more of the
    // picture than was decoded.
    const QRect wanted = visiblePicture(ratio).intersected(QRect(QPoint(0, 0), pictureSize()));
    if (!wanted.isEmpty() && !QRect(QPoint(0, 0), m_background.size()).contains(wanted)) {
        m_background = decodePicture(wanted);
    }
    QPainter painter(this);
    // One picture pixel to one screen pixel, whatever the scale of the screen: the picture
    // is drawn into its own size in device pixels rather than copied to carry the ratio.
    const QRectF picture(0, 0, m_background.width() / ratio, m_background.height() / ratio);
    if (!picture.contains(QRectF(rect()))) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    painter.drawImage(picture, m_background);
}

void Form1::setClientHeight(int twips)
{
    // The window manager draws the frame; the client area is what the design fixes.
    setFixedSize(pixels(kClientWidth), pixels(twips));
}

void Form1::openRom()
{
    if (settleUnsavedEdits()) {
        openPath(pathOf(askForRom()));
    }
}

void Form1::openImage(const QString &path)
{
    const QFileInfo file(path);
    m_dialogFolder = file.absolutePath();
    openPath(pathOf(file.absoluteFilePath()));
}

void Form1::openImage(const std::string &path)
{
    const QString name = textOf(path);
    if (pathOf(name) == path) {
        openImage(name);
        return;
    }
    // A name that is no UTF-8, as Linux allows: only its own bytes name the file.
    const auto file = platform::Path::fromFilesystem(
        std::filesystem::absolute(platform::Path(path).filesystem()).lexically_normal());
    m_dialogFolder = textOf(file.folder());
    openPath(file);
}

void Form1::openPath(const platform::Path &path)
{
    const auto opened = m_session.open(path.text());
    // The fields stay as they are, unless the loaded entry cannot be read in this image.
    if (!m_session.loadedEntry()) {
        showFields();
    }
    updateUnsavedMarker();
    report(opened, path.text());
}

QString Form1::askForRom()
{
    const QString path = askForImage(this, m_dialogFolder);
    if (!path.isEmpty()) {
        // From here on the dialog keeps the folder it was left in.
        m_dialogFolder.clear();
    }
    return path;
}

void Form1::loadEntry(Range range, int row)
{
    const auto loaded = m_session.load(range, row);
    if (!loaded && loaded.error().refusal == session::Refusal::Quiet) {
        return;
    }
    showFields();
    updateUnsavedMarker();
    if (!loaded) {
        report(loaded, m_session.romPath());
        return;
    }
    QStringList unlisted;
    for (const Field field : m_session.unlistedFields()) {
        const auto index = static_cast<std::size_t>(field);
        unlisted << QStringLiteral("%1: %2")
                        .arg(fromView(kFieldTexts[index].name))
                        .arg(*m_session.fields()[index].position);
    }
    if (!unlisted.isEmpty()) {
        showMessage(unlistedValuesMessage(loadedEntryName(), unlisted));
    }
}

void Form1::saveEntry(Range range)
{
    const auto saved = m_session.save(range, listOf(range)->selectedRow());
    updateUnsavedMarker();
    report(saved, m_session.romPath());
}

void Form1::report(const session::Outcome &outcome, std::string_view path)
{
    if (outcome) {
        return;
    }
    const session::Problem &problem = outcome.error();
    switch (problem.refusal) {
    case session::Refusal::Quiet:
        return;
    case session::Refusal::UnsupportedImage:
        showMessage(QString::fromUtf16(kUnsupportedRom));
        hide();
        emit endProgram(EXIT_FAILURE);
        return;
    case session::Refusal::NoEntryChosen:
        showMessage(QString::fromUtf16(kClickAnEntryFirst));
        return;
    case session::Refusal::NoImage:
        showMessage(QString::fromUtf16(kNoImageOpen));
        return;
    case session::Refusal::UnconvertibleValue:
        showMessage(QString::fromUtf16(kInsufficientValue));
        return;
    case session::Refusal::ImageFailed:
        showMessage(failureMessage(problem.action, problem.error, path, loadedEntryName()));
        return;
    }
}

void Form1::showFields()
{
    // One check of the whole record afterwards, rather than one for every field changed.
    const QScopedValueRollback showing(m_showingFields, true);
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const session::FieldValue &value = m_session.fields()[i];
        const FieldControl &control = m_fields[i];
        switch (image::kFields[i].kind()) {
        case FieldKind::Number:
            control.edit->setText(QString::fromStdString(value.text));
            break;
        case FieldKind::Choice:
            if (!value.position) {
                control.choice->showText(QString::fromStdString(value.text));
            } else if (*value.position < control.choice->count()) {
                control.choice->choose(*value.position);
            } else {
                // A byte the list has no row for is shown as its number; the session keeps it.
                control.choice->showText(QString::number(*value.position));
            }
            break;
        }
    }
}

void Form1::FindItem(EntryList *lst, const QString &strText)
{
    const auto range = std::ranges::find(image::kRanges, lst, [this](const image::RangeInfo &info) {
                           return listOf(info.range);
                       })->range;
    const auto found = m_names.entries(range).findExact(strText.toStdString());
    // Asked before the row is selected, so that a cancel leaves the list and the focus alone.
    if (!found || !settleUnsavedEdits()) {
        return;
    }
    lst->selectRow(static_cast<std::int16_t>(*found));
    lst->setFocus(Qt::OtherFocusReason);
}

void Form1::showGenderHelp()
{
    showMessage(QString::fromUtf16(kGenderHelp));
}

EntryList *Form1::listOf(Range range) const
{
    switch (range) {
    case Range::List1:
        return List1;
    case Range::List2:
        return List2;
    case Range::AlternateForms:
        return List3;
    }
    return nullptr;
}

QString Form1::loadedEntryName() const
{
    const auto entry = m_session.loadedEntry();
    return entry ? fromView(m_names.entryName(entry->range, entry->row)) : QString();
}

void Form1::showMessage(const QString &text)
{
    // No title of its own: the title bar shows the application's name.
    QMessageBox box(this);
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// --- Unsaved edits, keys and drops ---------------------------------------------------------

void Form1::guardUnsavedEdits()
{
    // The window tells the session what the user did; what it stands for is the session's rule.
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const FieldControl &control = m_fields[i];
        const auto typed = [this, i](const QString &text) {
            reportField(i, {text.toStdString(), std::nullopt});
        };
        if (control.edit != nullptr) {
            connect(control.edit, &QLineEdit::textChanged, this, typed);
            continue;
        }
        ChoiceBox *box = control.choice;
        const auto picked = [this, i, box](int row) {
            if (row >= 0) {
                reportField(i, {box->itemText(row).toStdString(), row});
            }
        };
        // A row picked from the list, with the arrow keys or the wheel, also the one chosen
        // already after a text was typed; or a text of the user's own.
        connect(box, &QComboBox::currentIndexChanged, this, picked);
        connect(box, &QComboBox::activated, this, picked);
        connect(box->lineEdit(), &QLineEdit::textEdited, this, typed);
    }

    // The keys are named rather than taken from the system's standard keys: Windows has no
    // standard key to quit, and the keys a user reads in the README are these on every system.
    const auto addKey = [this](QKeyCombination key, auto action) {
        auto *shortcut = new QAction(this);
        shortcut->setShortcut(QKeySequence(key));
        shortcut->setShortcutContext(Qt::WindowShortcut);
        connect(shortcut, &QAction::triggered, this, action);
        addAction(shortcut);
    };
    // The loaded entry's own save button, also while the lower area is out of view.
    addKey(Qt::CTRL | Qt::Key_S, [this] {
        const auto saved = m_session.saveLoaded();
        updateUnsavedMarker();
        report(saved, m_session.romPath());
    });
    addKey(Qt::CTRL | Qt::Key_O, [this] { Command1->click(); });
    addKey(Qt::CTRL | Qt::Key_Q, [this] { Command8->click(); });

    setAcceptDrops(true);
    // Edit boxes take dropped text; a dropped image goes past them to the window.
    for (auto *edit : findChildren<QLineEdit *>()) {
        edit->installEventFilter(this);
    }

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        const bool clickIntoList = qobject_cast<EntryList *>(now) != nullptr &&
                                   QGuiApplication::mouseButtons() != Qt::NoButton;
        m_focusBeforeClick = clickIntoList ? old : nullptr;
    });
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Form1::saveSessionData);
#endif
}

void Form1::reportField(std::size_t index, session::FieldValue value)
{
    if (m_showingFields) {
        return;
    }
    m_session.setField(image::kFields[index].field, std::move(value));
    updateUnsavedMarker();
}

void Form1::updateUnsavedMarker()
{
    // The title changes only when the answer does.
    if (const bool unsaved = m_session.unsaved(); unsaved != isWindowModified()) {
        setWindowModified(unsaved);
    }
}

bool Form1::settleUnsavedEdits()
{
    const auto entry = m_session.loadedEntry();
    if (!entry || !m_session.unsaved()) {
        return true;
    }
    switch (askAboutUnsavedEdits(this, loadedEntryName(), listOf(entry->range)->accessibleName())) {
    case UnsavedAnswer::Save: {
        const auto saved = m_session.saveLoaded();
        updateUnsavedMarker();
        report(saved, m_session.romPath());
        return saved.has_value();
    }
    case UnsavedAnswer::Discard:
        m_session.discard();
        showFields();
        updateUnsavedMarker();
        return true;
    case UnsavedAnswer::Cancel:
        return false;
    }
    return false;
}

void Form1::pickRow(Range range, int row)
{
    // The question takes the focus; a click into the list had taken it from this control.
    const QPointer<QWidget> focusBefore = m_focusBeforeClick;
    if (settleUnsavedEdits()) {
        loadEntry(range, row);
        return;
    }
    listOf(range)->undoPick();
    if (focusBefore) {
        focusBefore->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (settleUnsavedEdits()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void Form1::saveSessionData(QSessionManager &manager)
{
    // Unasked, nothing is written: a session that lets no program talk to the user ends
    // without a save.
    if (!isWindowModified() || !manager.allowsInteraction()) {
        return;
    }
    const bool goOn = settleUnsavedEdits();
    manager.release();
    if (!goOn) {
        manager.cancel();
    }
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedImage(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent *event)
{
    const auto path = droppedImage(event->mimeData());
    if (!path) {
        return;
    }
    event->acceptProposedAction();
    // The program the file came from waits until the drop returns; the question and the
    // messages come after it.
    QMetaObject::invokeMethod(
        this,
        [this, path = *path] {
            if (settleUnsavedEdits()) {
                openImage(path);
            }
        },
        Qt::QueuedConnection);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (droppedImage(static_cast<QDropEvent *>(event)->mimeData())) {
            static_cast<QDropEvent *>(event)->acceptProposedAction();
            return true;
        }
        break;
    case QEvent::Drop:
        if (droppedImage(static_cast<QDropEvent *>(event)->mimeData())) {
            dropEvent(static_cast<QDropEvent *>(event));
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace stats::app
