#pragma once
#include <QString>
#include <QWidget>
#include <optional>

class QListView;
class QMimeData;
class QStringListModel;

namespace meru {

class CBookmarkBook;
class CBookmarksDlg;

// A link carried by a drag from a browser: its address and, when the drag
// has one, its title.
struct DroppedLink {
    QString url;
    QString title;
};
std::optional<DroppedLink> LinkFromMime(const QMimeData* mime);

// The list page (dialog 206) inside the bookmarks window's tab control: the
// current group's bookmarks as "%d. %s" rows. The row the user selects is
// kept in the book and survives group changes, deletes and refills.
class CBookmarkListPage : public QWidget {
    Q_OBJECT
public:
    CBookmarkListPage(CBookmarkBook& book, CBookmarksDlg& owner, QWidget* pParent);

    // Sorts the current group, fills the list and highlights the selected
    // row when the group has it.
    void Refresh();

    QListView* List() const { return m_pList; }
    QStringListModel* Model() const { return m_pModel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnCurrentChanged(int row);
    void ShowContextMenu(const QPoint& pos);

    CBookmarkBook& m_book;
    CBookmarksDlg& m_owner;
    QListView* m_pList;
    QStringListModel* m_pModel;
    bool m_bFilling = false;  // selection changes while filling are ours
};

}  // namespace meru
