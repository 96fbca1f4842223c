#include "gui/notes/meru_dlg.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>

#include "core/bookmarks/url.h"
#include "gui/kit/clock_row.h"
#include "gui/kit/editor_text.h"
#include "gui/kit/message_box.h"
#include "gui/kit/resources.h"
#include "gui/kit/step_loader.h"
#include "gui/notes/confirm_dlg.h"
#include "gui/notes/help_window.h"
#include "gui/notes/page_list_dlg.h"
#include "platform/launcher.h"

namespace meru {

namespace {

enum : int {
    IDC_EDITOR = 1000,
    IDC_NEXT = 1001,
    IDC_PREV = 1002,
    IDC_PAGE = 1003,
    IDC_FIND_TEXT = 1004,
    IDC_FIND = 1006,
    IDC_CUT = 1007,
    IDC_COPY = 1008,
    IDC_PASTE = 1009,
    IDC_UNDO = 1012,
    IDC_CLEAR = 1013,
    IDC_LINE = 1014,
    IDC_URL = 1016,
    IDC_MAIL = 1018,
    IDC_PAGE_LIST = 1023,
    IDC_PRINT = 1029,
    IDC_DATE = 1034,
    IDC_TIME = 1035,
    IDC_INSERT_DATE = 1037,
    IDC_INSERT_TIME = 1039,
    IDC_HELP = 57670,
};

QString ToQ(const std::string& s) { return FromUtf8(s); }

}  // namespace

CMeruDlg::CMeruDlg(const ToolWindowContext& context, CPageStore& store, const QString& strDataPath,
                   ILauncher& launcher)
    : CToolWindow(context, {447, 292, "System", 10}),
      m_strDataPath(strDataPath),
      m_launcher(launcher),
      m_store(store) {}

CMeruDlg::~CMeruDlg() {
    if (m_pEditor) {
        m_pEditor->removeEventFilter(this);
        m_pEditor->viewport()->removeEventFilter(this);
    }
    delete m_pHelp;
}

void CMeruDlg::SetDataPath(const QString& strDataPath) {
    m_strDataPath = strDataPath;
    setWindowTitle(VersionText() + TitleSuffix());
}

QString CMeruDlg::TitleSuffix() const {
    return QStringLiteral(" - NOTES - [") + m_strDataPath + QStringLiteral("]");
}

QPushButton* CMeruDlg::AddButton(int id, const QString& caption, int faceId, int x, int y, int cx,
                                 int cy) {
    auto* pButton = new QPushButton(Client());
    pButton->setObjectName(QStringLiteral("button%1").arg(id));
    pButton->setAccessibleName(caption);
    if (faceId) {
        pButton->setIcon(res::Icon(faceId));
        pButton->setToolTip(QString(caption).remove(QLatin1Char('&')));
    } else {
        pButton->setText(caption);
    }
    pButton->setGeometry(Du().Rect(x, y, cx, cy));
    const QSize area = pButton->size() - QSize(6, 6);
    const int side = std::max(8, std::min(area.width(), area.height()));
    pButton->setIconSize({side, side});
    pButton->setAutoDefault(false);
    m_aButtons.emplace_back(id, pButton);
    return pButton;
}

QPushButton* CMeruDlg::Button(int id) const {
    for (const auto& [nId, pButton] : m_aButtons)
        if (nId == id) return pButton;
    return nullptr;
}

void CMeruDlg::OnInitDialog() {
    QWidget* pClient = Client();
    const CDialogUnits& du = Du();

    auto* pFrame = new QGroupBox(QStringLiteral("Notes"), pClient);
    pFrame->setGeometry(du.Rect(3, 0, 441, 285));
    pFrame->lower();

    auto connectButton = [this](QPushButton* p, void (CMeruDlg::*fn)()) {
        connect(p, &QPushButton::clicked, this, fn);
    };
    // The editing buttons act on the editor, which keeps the focus.
    struct EditButton {
        int id;
        const char* caption;
        int face;
        int x;
        void (QPlainTextEdit::*act)();
    };
    const EditButton kEditButtons[] = {
        {IDC_CUT, "Taglia", 130, 10, &QPlainTextEdit::cut},
        {IDC_COPY, "Copia", 131, 25, &QPlainTextEdit::copy},
        {IDC_PASTE, "Incolla", 132, 40, &QPlainTextEdit::paste},
        {IDC_UNDO, "Undo", 138, 55, &QPlainTextEdit::undo},
    };
    for (const EditButton& b : kEditButtons) {
        connect(AddButton(b.id, QString::fromLatin1(b.caption), b.face, b.x, 10, 13, 12),
                &QPushButton::clicked, this, [this, act = b.act] {
                    m_pEditor->setFocus();
                    (m_pEditor->*act)();
                });
    }
    connectButton(AddButton(IDC_CLEAR, QStringLiteral("Clear"), 156, 70, 10, 13, 12),
                  &CMeruDlg::OnClear);
    connectButton(AddButton(IDC_LINE, QStringLiteral("Linea"), 155, 85, 10, 13, 12),
                  &CMeruDlg::OnLine);
    connectButton(AddButton(IDC_HELP, QStringLiteral("&Help"), 133, 100, 10, 13, 12),
                  &CMeruDlg::OnHelp);
    connectButton(AddButton(IDC_MAIL, QStringLiteral("MAIL"), 162, 124, 10, 13, 12),
                  &CMeruDlg::OnMail);
    connectButton(AddButton(IDC_URL, QStringLiteral("URL"), 159, 139, 10, 13, 12),
                  &CMeruDlg::OnUrl);

    m_pFind = new QLineEdit(pClient);
    m_pFind->setObjectName(QStringLiteral("edit1004"));
    m_pFind->setGeometry(du.Rect(155, 10, 90, 12));
    // "Trova" is the default button: Enter in the search field searches.
    connect(m_pFind, &QLineEdit::returnPressed, this, &CMeruDlg::OnFind);

    connectButton(AddButton(IDC_FIND, QStringLiteral("Trova"), 139, 248, 10, 13, 12),
                  &CMeruDlg::OnFind);
    connectButton(AddButton(IDC_PRINT, QStringLiteral("print"), 169, 263, 10, 13, 12),
                  &CMeruDlg::OnPrint);

    m_pEditor = new QPlainTextEdit(pClient);
    m_pEditor->setObjectName(QStringLiteral("edit1000"));
    m_pEditor->setGeometry(du.Rect(10, 25, 427, 238));
    m_pEditor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_pEditor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_pEditor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetEditorColours(m_pEditor);
    m_pEditor->installEventFilter(this);
    m_pEditor->viewport()->installEventFilter(this);
    m_pLoader = new CStepTextLoader(m_pEditor, [this](bool bSetting) { m_bLoading = bSetting; });
    // What is typed reaches the data shortly after the typing stops, not only
    // when the editor loses the focus: a process that ends without warning
    // (the display lost) then still saves it.
    m_pCommitTimer = new QTimer(this);
    m_pCommitTimer->setSingleShot(true);
    m_pCommitTimer->setInterval(kCommitDelayMs);
    connect(m_pCommitTimer, &QTimer::timeout, this, [this] {
        if (!Loading()) CommitPage();
    });
    connect(m_pEditor->document(), &QTextDocument::contentsChange, this, [this] {
        if (m_bLoading) return;
        m_bEdited = true;
        m_pCommitTimer->start();
    });

    m_pDate = new QDateEdit(pClient);
    m_pDate->setObjectName(QStringLiteral("date1034"));
    m_pDate->setGeometry(du.Rect(10, 268, 51, 11));
    m_pDate->setDisplayFormat(QStringLiteral("dd/MM/yy"));
    m_pDate->setAlignment(Qt::AlignRight);
    connectButton(AddButton(IDC_INSERT_DATE, QStringLiteral("Insert Data"), 178, 62, 268, 11, 11),
                  &CMeruDlg::OnInsertDate);
    m_pTime = new QTimeEdit(pClient);
    m_pTime->setObjectName(QStringLiteral("time1035"));
    m_pTime->setGeometry(du.Rect(82, 268, 43, 11));
    m_pTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_pTime->setAlignment(Qt::AlignRight);
    connectButton(AddButton(IDC_INSERT_TIME, QStringLiteral("Insert Time"), 178, 126, 268, 11, 11),
                  &CMeruDlg::OnInsertTime);

    connectButton(AddButton(IDC_PAGE_LIST, QStringLiteral("Pag."), 0, 355, 267, 17, 10),
                  &CMeruDlg::OnPageList);
    m_pPageLabel = new QLineEdit(pClient);
    m_pPageLabel->setObjectName(QStringLiteral("edit1003"));
    m_pPageLabel->setReadOnly(true);
    m_pPageLabel->setFocusPolicy(Qt::NoFocus);
    m_pPageLabel->setAlignment(Qt::AlignCenter);
    m_pPageLabel->setGeometry(du.Rect(374, 266, 32, 12));
    connectButton(AddButton(IDC_PREV, QStringLiteral("<"), 0, 409, 266, 13, 12),
                  &CMeruDlg::OnPrevPage);
    connectButton(AddButton(IDC_NEXT, QStringLiteral(">"), 0, 424, 266, 13, 12),
                  &CMeruDlg::OnNextPage);

    // Tab order follows the template.
    QWidget* aOrder[] = {Button(IDC_CUT),
                         Button(IDC_COPY),
                         Button(IDC_PASTE),
                         Button(IDC_UNDO),
                         Button(IDC_CLEAR),
                         Button(IDC_LINE),
                         Button(IDC_HELP),
                         Button(IDC_MAIL),
                         Button(IDC_URL),
                         m_pFind,
                         Button(IDC_FIND),
                         Button(IDC_PRINT),
                         m_pEditor,
                         m_pDate,
                         Button(IDC_INSERT_DATE),
                         m_pTime,
                         Button(IDC_INSERT_TIME),
                         Button(IDC_PAGE_LIST),
                         Button(IDC_PREV),
                         Button(IDC_NEXT)};
    for (size_t i = 1; i < std::size(aOrder); ++i) setTabOrder(aOrder[i - 1], aOrder[i]);
    // The editor and its frame take a change of the window's size.
    SetResizable({pFrame, m_pEditor});

    m_store.Normalise();
    m_store.ShowPage(1);
    LoadEditor();
    UpdatePageLabel();
    m_pEditor->setFocus(Qt::OtherFocusReason);  // where the window opens

    // A date or time the user is picking is left alone.
    m_pClock = new CClockRow(this, m_pDate, m_pTime, CClockRow::FocusedPicker::Keep);
    connect(m_pClock, &CClockRow::ticked, this, &CMeruDlg::OnTimer);
    OnTimer(m_pClock->Now());

    m_fnConfirmClear = [this](bool& bDeleteNowTicked) {
        CConfirmDlg dlg(this);
        const bool bYes = dlg.exec() == QDialog::Accepted;
        bDeleteNowTicked = dlg.m_bDeleteNow;
        return bYes;
    };
    m_fnAskWrapAround = [this] { return AskSearchWrap(this); };
    m_fnPageList = [this](const std::vector<std::string>& pages) -> std::optional<int> {
        CPageListDlg dlg(this);
        dlg.m_pPages = &pages;
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.m_nSel;
    };
    m_fnChoosePrinter = [this](QPrinter& printer) {
        QPrintDialog dlg(&printer, this);
        dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
        dlg.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
        dlg.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dlg.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
        return dlg.exec() == QDialog::Accepted;
    };
}

// ---------------------------------------------------------------------------
// Pages

QString CMeruDlg::EditorText() {
    FinishLoading();
    return meru::EditorText(m_pEditor);
}

void CMeruDlg::CommitPage() {
    // Only the user's edits make the editor differ from the page; a page
    // still being loaded is complete in the store.
    if (!m_pEditor || !m_bEdited) return;
    m_store.CommitEditorText(EditorText().toStdString());
    m_bEdited = false;
}

void CMeruDlg::LoadEditor() {
    // A long page: the first lines now, the rest in steps from the event
    // loop, so the window shows the page at once and stays responsive.
    m_pLoader->Load(m_store.CurrentText());
    m_bEdited = false;
}

bool CMeruDlg::Loading() const { return m_pLoader && m_pLoader->Loading(); }

void CMeruDlg::FinishLoading() {
    if (m_pLoader) m_pLoader->Finish();
}

int CMeruDlg::PageLabelRoom() const {
    const int nFrame = m_pPageLabel->hasFrame()
                           ? m_pPageLabel->style()->pixelMetric(QStyle::PM_DefaultFrameWidth)
                           : 0;
    const QMargins margins = m_pPageLabel->textMargins();
    // 2: the line edit's own margin on either side of its text.
    return m_pPageLabel->contentsRect().width() - 2 * nFrame - margins.left() - margins.right() -
           2 * 2;
}

void CMeruDlg::UpdatePageLabel() {
    m_strPageLabel = ToQ(m_store.PageLabel());
    if (!m_pPageLabel) return;
    // The field is sized for short labels; a long one ("65535/65535") is shown
    // in full in a smaller font rather than cut.
    QFont font = this->font();
    const int nRoom = PageLabelRoom();
    qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 8;
    const bool bPoints = font.pointSizeF() > 0;
    if (!bPoints) size = font.pixelSize();
    while (QFontMetrics(font).horizontalAdvance(m_strPageLabel) > nRoom && size > 4) {
        size -= bPoints ? 0.5 : 1;
        if (bPoints)
            font.setPointSizeF(size);
        else
            font.setPixelSize(static_cast<int>(size));
    }
    m_pPageLabel->setFont(font);
    m_pPageLabel->setText(m_strPageLabel);
    m_pPageLabel->setCursorPosition(0);
}

void CMeruDlg::ShowCurrentPage() {
    LoadEditor();
    UpdatePageLabel();
    m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CMeruDlg::ShowPage(int n) {
    if (!m_pEditor) return;
    CommitPage();
    if (!m_store.ShowPage(n)) return;
    ShowCurrentPage();
}

void CMeruDlg::PagesAppended() { UpdatePageLabel(); }

void CMeruDlg::OnPrevPage() {
    CommitPage();
    if (!m_store.PreviousPage()) return;
    ShowCurrentPage();
}

void CMeruDlg::OnNextPage() {
    CommitPage();
    m_store.NextPage();
    ShowCurrentPage();
}

void CMeruDlg::OnClear() {
    CommitPage();
    if (m_store.ClearNeedsConfirmation()) {
        bool bTicked = false;
        const bool bYes = m_fnConfirmClear ? m_fnConfirmClear(bTicked) : false;
        if (!m_store.ConfirmClear(bYes, bTicked)) return;
    }
    m_store.ClearPage();
    ShowCurrentPage();
}

// ---------------------------------------------------------------------------
// Insertions

void CMeruDlg::InsertAfterSelection(const QString& text) {
    const int nEnd = m_pEditor->textCursor().selectionEnd();
    QTextCursor at(m_pEditor->document());
    at.setPosition(nEnd);
    at.insertText(text);
    // The caret follows the inserted text and nothing stays selected, so the
    // next key typed does not replace the text the insertion went after.
    QTextCursor after(m_pEditor->document());
    after.setPosition(nEnd + static_cast<int>(text.size()));
    m_pEditor->setTextCursor(after);
    m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CMeruDlg::OnLine() { InsertAfterSelection(ToQ(LineText())); }

void CMeruDlg::OnInsertDate() {
    InsertAfterSelection(ToQ(FormatDate(static_cast<std::time_t>(m_timeDate.toSecsSinceEpoch()))));
}

void CMeruDlg::OnInsertTime() {
    InsertAfterSelection(ToQ(FormatTime(static_cast<std::time_t>(m_timeTime.toSecsSinceEpoch()))));
}

bool CMeruDlg::ClockRunning() const { return m_pClock && m_pClock->IsRunning(); }

void CMeruDlg::OnTimer(const QDateTime& now) {
    m_timeDate = now;
    m_timeTime = now;
}

// ---------------------------------------------------------------------------
// Hand-offs

void CMeruDlg::OnUrl() {
    QString selected = m_pEditor->textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::string address = FormBrowserAddress(selected.toStdString());
    m_launcher.openUrl(QUrl(ToQ(address), QUrl::TolerantMode));
}

void CMeruDlg::OnMail() { emit mailRequested(); }

// ---------------------------------------------------------------------------
// Search and page list

void CMeruDlg::SelectStored(size_t nBegin, size_t nEnd) {
    FinishLoading();
    const std::string& page = m_store.CurrentText();
    QTextCursor cursor(m_pEditor->document());
    cursor.setPosition(static_cast<int>(StoredToEditorOffset(page, nBegin)));
    cursor.setPosition(static_cast<int>(StoredToEditorOffset(page, nEnd)), QTextCursor::KeepAnchor);
    m_pEditor->setTextCursor(cursor);
    m_pEditor->setFocus(Qt::OtherFocusReason);
    m_pEditor->ensureCursorVisible();
}

void CMeruDlg::OnFind() {
    CommitPage();
    const std::string find = m_pFind->text().toStdString();
    const size_t nStart = EditorToStoredOffset(
        m_store.CurrentText(), static_cast<size_t>(m_pEditor->textCursor().selectionEnd()));
    std::optional<SearchHit> hit = m_store.SearchFromCurrent(find, nStart);
    while (!hit) {
        if (!m_fnAskWrapAround || !m_fnAskWrapAround()) return;
        hit = m_store.SearchFromFirstPage(find);
    }
    const int nPage = static_cast<int>(hit->nPage) + 1;
    if (nPage != CurPage()) {
        ShowPage(nPage);
    } else {
        // The page is in the editor already and committed: keep its undo
        // history and spare reloading a long page.
        UpdatePageLabel();
    }
    SelectStored(hit->nBegin, hit->nEnd);
}

void CMeruDlg::OnPageList() {
    CommitPage();
    if (!m_fnPageList) return;
    const std::optional<int> nSel = m_fnPageList(m_store.Pages());
    if (!nSel || !m_store.ShowListSelection(*nSel)) return;
    ShowCurrentPage();
}

// ---------------------------------------------------------------------------
// Print and help

bool CMeruDlg::PrintText(QPrinter& printer, const QString& text) {
    QTextDocument doc;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (font.pointSizeF() <= 0) font.setPointSize(10);
    doc.setDefaultFont(font);
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(option);
    doc.setPlainText(text);
    // A small margin on every page: a line at a page break then lies on one
    // page only, not cut in two and printed again on the next.
    doc.setDocumentMargin(printer.resolution() / 8.0);
    // Laid out in the printer's own metrics on pages of its printable area,
    // so the document is paginated here and no page numbers are added.
    doc.documentLayout()->setPaintDevice(&printer);
    doc.setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
    printer.setDocName(QString());
    doc.print(&printer);
    return printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

void CMeruDlg::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    if (!m_fnChoosePrinter || !m_fnChoosePrinter(printer)) return;
    // The editor's text as it is now, not the stored page.
    PrintText(printer, EditorText());
}

void CMeruDlg::OnHelp() {
    if (!m_pHelp) {
        m_pHelp = new CHelpWindow(this);
        m_pHelp->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_pHelp->show();
    m_pHelp->raise();
    m_pHelp->activateWindow();
}

// ---------------------------------------------------------------------------
// Commits

void CMeruDlg::hideEvent(QHideEvent* pEvent) {
    // Esc, the close box and minimising all end here: keep what was typed.
    CommitPage();
    CToolWindow::hideEvent(pEvent);
}

void CMeruDlg::changeEvent(QEvent* pEvent) {
    // Minimised (where no tray takes the window, it stays minimised).
    if (pEvent->type() == QEvent::WindowStateChange && isMinimized()) CommitPage();
    CToolWindow::changeEvent(pEvent);
}

void CMeruDlg::showEvent(QShowEvent* pEvent) {
    // Pages may have been appended to the store while the window was hidden.
    m_store.Normalise();
    UpdatePageLabel();
    CToolWindow::showEvent(pEvent);
}

bool CMeruDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pEditor && pEvent->type() == QEvent::FocusOut) CommitPage();
    // Typing into a page still being loaded: load the rest first, so what is
    // typed can be undone like any other edit.
    if (pWatched == m_pEditor && pEvent->type() == QEvent::KeyPress) FinishLoading();
    // The editor's own menu (Select All, Copy ...), a drop and a middle-click
    // paste work on the whole page too.
    if (m_pEditor && pWatched == m_pEditor->viewport() && Loading()) {
        const QEvent::Type type = pEvent->type();
        if (type == QEvent::ContextMenu || type == QEvent::Drop ||
            (type == QEvent::MouseButtonPress &&
             static_cast<QMouseEvent*>(pEvent)->button() == Qt::MiddleButton))
            FinishLoading();
    }
    return CToolWindow::eventFilter(pWatched, pEvent);
}

}  // namespace meru
