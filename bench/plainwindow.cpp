#include "plainwindow.h"

#include "app/layout.h"
#include "catalogues/catalogues.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <optional>

namespace stats::bench {

namespace {

using app::ControlKind;
using catalogues::ValueList;
using image::Range;

// The catalogue a list or choice control shows, as an index into the window's models: the
// three entry lists first, then the four value lists.
struct ControlRows
{
    std::string_view control;
    int model;
};

constexpr std::array<ControlRows, 10> kControlRows{{
    {"List1", 0},
    {"List2", 1},
    {"List3", 2},
    {"ty1", 3},
    {"ty2", 3},
    {"wh1", 4},
    {"wh2", 4},
    {"ab1", 5},
    {"ab2", 5},
    {"dw", 6},
}};

const catalogues::Catalogue &catalogueOfModel(int model)
{
    constexpr std::array<Range, 3> ranges{Range::List1, Range::List2, Range::AlternateForms};
    constexpr std::array<ValueList, 4> values{ValueList::Types, ValueList::HeldItems,
                                              ValueList::Abilities, ValueList::DreamWorldAbilities};
    if (model < 3) {
        return catalogues::builtInCatalogues().entries(ranges[static_cast<std::size_t>(model)]);
    }
    return catalogues::builtInCatalogues().values(values[static_cast<std::size_t>(model - 3)]);
}

std::optional<int> modelOf(std::string_view control)
{
    for (const auto &rows : kControlRows) {
        if (rows.control == control) {
            return rows.model;
        }
    }
    return std::nullopt;
}

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

PlainControlsWindow::PlainControlsWindow()
{
    setFixedSize(app::pixels(app::kClientWidth), app::pixels(app::kClientHeightAtStart));
    for (std::size_t i = 0; i < m_models.size(); ++i) {
        QStringList rows;
        for (const auto text : catalogueOfModel(static_cast<int>(i)).rows()) {
            rows << fromView(text);
        }
        m_models[i].setStringList(rows);
    }
    for (const auto &item : app::kControls) {
        QWidget *control = nullptr;
        const QString caption = fromView(item.caption);
        switch (item.kind) {
        case ControlKind::Button:
        case ControlKind::FaceButton:
        case ControlKind::HollowButton:
            control = new QPushButton(caption, this);
            break;
        case ControlKind::Label:
        case ControlKind::ClickLabel:
        case ControlKind::OpaqueLabel:
            control = new QLabel(caption, this);
            break;
        case ControlKind::EditBox:
            control = new QLineEdit(this);
            break;
        case ControlKind::ChoiceBox: {
            auto *box = new QComboBox(this);
            box->setEditable(true);
            box->setModel(&m_models[static_cast<std::size_t>(*modelOf(item.name))]);
            control = box;
            break;
        }
        case ControlKind::EntryList: {
            auto *list = new QListView(this);
            list->setUniformItemSizes(true);
            list->setModel(&m_models[static_cast<std::size_t>(*modelOf(item.name))]);
            control = list;
            break;
        }
        }
        control->setGeometry(app::pixels(item.left), app::pixels(item.top), app::pixels(item.width),
                             app::pixels(item.height));
    }
}

} // namespace stats::bench
