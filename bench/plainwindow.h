#pragma once

// A second reference for the window's start-up: the editor's own controls at their places,
// each the plain Qt widget of its kind holding the same rows, with none of the editor's
// picture, fonts, lines or behaviour. It is the least any window with these controls costs,
// so the editor's start-up beside it shows what the editor adds of its own.

#include <QStringListModel>
#include <QWidget>

#include <array>

namespace stats::bench {

class PlainControlsWindow : public QWidget
{
public:
    PlainControlsWindow();

private:
    // One model per catalogue, shared by the controls that show it, as the editor does.
    std::array<QStringListModel, 7> m_models;
};

} // namespace stats::bench
