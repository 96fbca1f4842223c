#pragma once
// "Confirm" (dialog 168): asked before a notes page is deleted.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace meru {

class CConfirmDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConfirmDlg(QWidget* pParent = nullptr);

    // "Delete immediately" (check box 1028); read from the box only by "Si",
    // so "No", Esc and the close button leave it false.
    bool m_bDeleteNow = false;

    QCheckBox* DeleteNowBox() const { return m_pDeleteNow; }
    QPushButton* YesButton() const { return m_pYes; }
    QPushButton* NoButton() const { return m_pNo; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QCheckBox* m_pDeleteNow = nullptr;
    QPushButton* m_pYes = nullptr;
    QPushButton* m_pNo = nullptr;
};

}  // namespace meru
