#pragma once
// "Page" (dialog 165): one line per notes page (its number and the start of
// its first line); the chosen page is shown by the notes window.
#include <QDialog>
#include <string>
#include <vector>

class QListView;
class QPushButton;
class QModelIndex;

namespace meru {

class CPageListModel;

class CPageListDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPageListDlg(QWidget* pParent = nullptr);
    ~CPageListDlg() override;

    // Set by the notes window before the dialog runs; the dialog is modal,
    // so the store cannot change while it is open.
    const std::vector<std::string>* m_pPages = nullptr;
    // Index (0-based) of the item selected when closed with OK; -1 for none.
    int m_nSel = -1;

    QListView* List() const { return m_pList; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void OnInitDialog();

    bool m_bInitialised = false;
    QListView* m_pList = nullptr;
    CPageListModel* m_pModel = nullptr;
};

}  // namespace meru
