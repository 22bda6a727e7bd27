#pragma once

// The reference window of the start-up and key-press benchmarks: the least a Qt program needs
// to show one list of the editor's 547 entries, built the way the editor builds its lists.

#include <QListView>
#include <QStringListModel>
#include <QWidget>

namespace stats::bench {

class MinimalWindow : public QWidget
{
public:
    MinimalWindow();

    [[nodiscard]] QListView *list() { return &m_list; }

private:
    QStringListModel m_rows;
    QListView m_list;
};

} // namespace stats::bench
