#include "gui/notes/page_list_dlg.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPushButton>

#include "core/notes/page_list.h"
#include "gui/kit/dialog_units.h"
#include "gui/kit/edge_layout.h"

namespace meru {

// The lines are made when the view asks for them: a notebook of 100,000 pages
// opens at once, and only the rows on screen are ever formatted.
class CPageListModel final : public QAbstractListModel {
public:
    explicit CPageListModel(QObject* pParent) : QAbstractListModel(pParent) {}

    void SetPages(const std::vector<std::string>* pPages) {
        beginResetModel();
        m_pPages = pPages;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        if (parent.isValid() || !m_pPages) return 0;
        return static_cast<int>(m_pPages->size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!m_pPages || !index.isValid() || index.row() >= rowCount({})) return {};
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        const size_t n = static_cast<size_t>(index.row());
        return QString::fromStdString(PageListLine(n + 1, (*m_pPages)[n]));
    }

private:
    const std::vector<std::string>* m_pPages = nullptr;
};

CPageListDlg::CPageListDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Page"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());

    m_pModel = new CPageListModel(this);
    m_pList = new QListView(this);
    m_pList->setObjectName(QStringLiteral("list1025"));
    m_pList->setGeometry(du.Rect(7, 7, 421, 295));
    m_pList->setUniformItemSizes(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pList->setTextElideMode(Qt::ElideRight);
    m_pList->setModel(m_pModel);
    connect(m_pList, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) accept();
    });

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setGeometry(du.Rect(327, 311, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CPageListDlg::accept);
    auto* pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    pCancel->setGeometry(du.Rect(378, 311, 50, 14));
    pCancel->setAutoDefault(false);
    connect(pCancel, &QPushButton::clicked, this, &CPageListDlg::reject);

    // Resizable: the list takes the change, OK and Cancel stay in the
    // bottom-right corner.
    MakeResizableDialog(this, du.Size(435, 332), {m_pList}, du.Size(186, 83));
}

CPageListDlg::~CPageListDlg() = default;

void CPageListDlg::OnInitDialog() {
    m_pModel->SetPages(m_pPages);
    m_pList->clearSelection();
    // The first row is current but not selected: OK alone chooses nothing,
    // and Home, End, the page keys and the arrows move from there as in any
    // list (without a current row the first key only made row 1 current).
    if (m_pModel->rowCount({}) > 0)
        m_pList->selectionModel()->setCurrentIndex(m_pModel->index(0, 0),
                                                   QItemSelectionModel::NoUpdate);
    m_pList->setFocus(Qt::OtherFocusReason);
}

void CPageListDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CPageListDlg::accept() {
    m_nSel = -1;
    const QModelIndexList sel = m_pList->selectionModel()->selectedIndexes();
    if (!sel.isEmpty()) m_nSel = sel.first().row();
    QDialog::accept();
}

}  // namespace meru
