#include "gui/clipboard/clipboard_dlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimeEdit>
#include <QTimer>
#include <algorithm>

#include "core/notes/page_store.h"
#include "gui/kit/clock_row.h"
#include "gui/kit/editor_text.h"
#include "gui/kit/message_box.h"
#include "gui/kit/resources.h"
#include "gui/kit/step_loader.h"
#include "gui/clipboard/clip_link.h"

namespace meru {

namespace {

constexpr CMeruWindow::Template kTemplate182{447, 292, "System", 10};

// The beginning of the editor's text (as EditorText gives it) that decides
// the entry's label: a label shows kClipLabelChars characters, each at most
// two UTF-16 units. Taken from the document a character at a time, so a key
// typed into a huge entry costs no copy of the whole text.
QString LabelSource(const QPlainTextEdit* editor) {
    const QTextDocument* doc = editor->document();
    const int n = std::min(doc->characterCount() - 1, 2 * kClipLabelChars);
    QString head;
    head.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QChar c = doc->characterAt(i);
        head.append(c == QChar::ParagraphSeparator ? QChar(u'\n') : c);
    }
    return head;
}

// Keys that reach the end of the text or all of it.
bool NeedsWholeText(const QKeyEvent* key) {
    return key->matches(QKeySequence::SelectAll) ||
           key->matches(QKeySequence::MoveToEndOfDocument) ||
           key->matches(QKeySequence::SelectEndOfDocument);
}

}  // namespace

CClipboardDlg::CClipboardDlg(const ToolWindowContext& context, CClipHistory& history,
                             CClipboardLink& link)
    : CToolWindow(context, kTemplate182), m_history(history), m_link(link) {
    // Every publication, whoever caused it; the connection ends with the window.
    connect(&m_link, &CClipboardLink::published, this, &CClipboardDlg::ShowPublication);
    m_fnAskWrap = [this] { return AskSearchWrap(this); };
    CreateControls();
}

CClipboardDlg::~CClipboardDlg() = default;

QString CClipboardDlg::WrapQuestion() { return SearchWrapQuestion(); }

QPushButton* CClipboardDlg::Button(int id) const {
    return Client()->findChild<QPushButton*>(QString::number(id));
}

void CClipboardDlg::CreateControls() {
    const CDialogUnits& du = Du();
    QWidget* client = Client();

    auto* frame = new QGroupBox(QStringLiteral("Clipboard"), client);
    frame->setGeometry(du.Rect(3, 0, 441, 285));
    frame->lower();

    struct ButtonSpec {
        int id;
        const char* caption;
        int x, y, cx, cy;
        int face;  // 0: the caption is the face
    };
    static constexpr ButtonSpec kButtons[] = {
        {IDC_NOTES, "<- Notes", 10, 10, 50, 12, 0},
        {IDC_FIND, "Trova", 263, 10, 13, 12, 139},
        {IDC_DELETE_ALL, "Cancella tutto", 278, 10, 13, 12, 196},
        {IDC_DELETE, "Cancella", 293, 10, 13, 12, 156},
        {IDC_PREV, "<", 408, 10, 13, 12, 0},
        {IDC_NEXT, ">", 423, 10, 13, 12, 0},
        {IDC_INSERT_DATE, "Insert Data", 92, 268, 11, 11, 178},
        {IDC_INSERT_TIME, "Insert Time", 156, 268, 11, 11, 178},
    };
    for (const ButtonSpec& b : kButtons) {
        auto* btn = new QPushButton(client);
        btn->setObjectName(QString::number(b.id));
        btn->setAutoDefault(false);
        const QString caption = QString::fromLatin1(b.caption);
        const QRect r = du.Rect(b.x, b.y, b.cx, b.cy);
        btn->setGeometry(r);
        if (b.face) {
            const int side = std::max(8, std::min(r.width(), r.height()) - 4);
            btn->setIcon(res::Icon(b.face));
            btn->setIconSize({side, side});
            btn->setToolTip(caption);
            btn->setAccessibleName(caption);
        } else {
            btn->setText(caption);
        }
    }
    connect(Button(IDC_NOTES), &QPushButton::clicked, this, &CClipboardDlg::OnNotes);
    connect(Button(IDC_FIND), &QPushButton::clicked, this, &CClipboardDlg::Find);
    connect(Button(IDC_DELETE_ALL), &QPushButton::clicked, this, &CClipboardDlg::ClearAll);
    connect(Button(IDC_DELETE), &QPushButton::clicked, this, &CClipboardDlg::DeleteCurrent);
    connect(Button(IDC_PREV), &QPushButton::clicked, this, &CClipboardDlg::PreviousEntry);
    connect(Button(IDC_NEXT), &QPushButton::clicked, this, &CClipboardDlg::NextEntry);
    // "Insert Data" and "Insert Time" have no action in this window.

    m_pFind = new QLineEdit(client);
    m_pFind->setObjectName(QString::number(IDC_FIND_TEXT));
    m_pFind->setGeometry(du.Rect(170, 10, 90, 12));
    // Enter in the search field searches, as "Trova" does.
    connect(m_pFind, &QLineEdit::returnPressed, this, &CClipboardDlg::Find);

    m_pList = new QComboBox(client);
    m_pList->setObjectName(QString::number(IDC_LIST));
    m_pList->setEditable(true);
    m_pList->setInsertPolicy(QComboBox::NoInsert);
    // The history may grow to thousands of entries and the list is rebuilt at
    // every publication: a plain string model is replaced in one go, where
    // the default model would insert (and the completer index) row by row.
    m_pList->setCompleter(nullptr);
    m_pListModel = new QStringListModel(m_pList);
    m_pList->setModel(m_pListModel);
    m_pList->setGeometry(du.Rect(308, 10, 98, 12));
    connect(m_pList, &QComboBox::activated, this, &CClipboardDlg::ChooseEntry);

    m_pEditor = new QPlainTextEdit(client);
    m_pEditor->setObjectName(QString::number(IDC_EDITOR));
    m_pEditor->setGeometry(du.Rect(10, 25, 427, 238));
    m_pEditor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEditor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    SetEditorColours(m_pEditor);
    m_pEditor->installEventFilter(this);
    connect(m_pEditor, &QPlainTextEdit::textChanged, this, &CClipboardDlg::OnEditorChanged);
    m_pLoader = new CStepTextLoader(m_pEditor, [this](bool b) { m_bSettingEditor = b; });
    m_pEditor->viewport()->installEventFilter(this);

    m_pDate = new QDateEdit(client);
    m_pDate->setObjectName(QString::number(IDC_DATE));
    // The short date of the notes window's row, which fits the template's width.
    m_pDate->setDisplayFormat(QStringLiteral("dd/MM/yy"));
    m_pDate->setAlignment(Qt::AlignRight);
    m_pDate->setGeometry(du.Rect(40, 268, 51, 11));

    m_pTime = new QTimeEdit(client);
    m_pTime->setObjectName(QString::number(IDC_TIME));
    m_pTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_pTime->setAlignment(Qt::AlignRight);
    m_pTime->setGeometry(du.Rect(112, 268, 43, 11));

    Signature()->raise();

    m_pClock = new CClockRow(this, m_pDate, m_pTime);
    // The editor and its frame take a change of the window's size.
    SetResizable({frame, m_pEditor});
}

void CClipboardDlg::OnInitDialog() {
    PublishClip();
    m_bEdited = false;
    CToolWindow::HideToTray();
}

// ---------------------------------------------------------------- publication

void CClipboardDlg::Apply(const ClipPublication& p) { m_link.Apply(p); }

void CClipboardDlg::ShowPublication(const ClipPublication& p) {
    if (p.bEditor) ShowEntryInEditor(p.nCur);
    if (p.bList) RebuildList(p.nCur);
    m_bEdited = false;
}

void CClipboardDlg::PublishClip() { Apply(m_history.PublishClip()); }

void CClipboardDlg::ClearAll() { Apply(m_history.ClearAll()); }

void CClipboardDlg::DeleteCurrent() { Apply(m_history.DeleteCurrent()); }

void CClipboardDlg::ShowEntryInEditor(int nCur) {
    if (!isVisible()) {
        m_bEditorPending = true;
        m_nEditorPending = nCur;
        return;
    }
    SetEditorText(nCur);
}

void CClipboardDlg::FlushEditor() {
    if (!m_bEditorPending) return;
    m_bEditorPending = false;
    SetEditorText(m_nEditorPending);
}

QPlainTextEdit* CClipboardDlg::Editor() {
    FlushEditor();
    m_pLoader->Finish();
    return m_pEditor;
}

void CClipboardDlg::SetEditorText(int nCur) {
    m_bEditorPending = false;
    const bool bValid = nCur >= 0 && nCur < m_history.Count();
    // A huge entry shows its beginning at once and the rest in steps.
    m_pLoader->Load(bValid ? m_history.Entry(nCur) : std::string());
}

void CClipboardDlg::RebuildList(int nCur) {
    const QSignalBlocker block(m_pList);
    const std::vector<std::string> labels = m_history.Labels();
    QStringList items;
    items.reserve(qsizetype(labels.size()));
    for (const std::string& label : labels) items.append(FromUtf8(label));
    m_pListModel->setStringList(items);
    SelectListItem(nCur);
}

void CClipboardDlg::SelectListItem(int nCur) {
    const QSignalBlocker block(m_pList);
    m_pList->setCurrentIndex(nCur >= 0 && nCur < m_pList->count() ? nCur : -1);
    // The edit field shows the beginning of the label, not its end.
    m_pList->lineEdit()->setCursorPosition(0);
}

// ---------------------------------------------------------------- navigation

void CClipboardDlg::ChooseEntry(int index) {
    if (index < 0) return;
    if (auto p = m_history.ChooseEntry(index)) Apply(*p);
}

void CClipboardDlg::PreviousEntry() {
    if (auto p = m_history.PreviousEntry()) {
        Apply(*p);
        SelectListItem(p->nCur);
    }
}

void CClipboardDlg::NextEntry() {
    if (auto p = m_history.NextEntry()) {
        Apply(*p);
        SelectListItem(p->nCur);
    }
}

// ---------------------------------------------------------------- editing

void CClipboardDlg::OnEditorChanged() {
    if (m_bSettingEditor) return;
    // The user changed the shown entry: its list item shows the new text at
    // once; the history gets it when the editor loses the focus.
    const int nCur = std::max(0, m_history.Current());
    const std::string label = MakeClipLabel(nCur + 1, ToUtf8(LabelSource(m_pEditor)));
    const QSignalBlocker block(m_pList);
    if (nCur < m_pList->count()) m_pList->removeItem(nCur);
    const int at = std::min(nCur, m_pList->count());
    m_pList->insertItem(at, FromUtf8(label));
    SelectListItem(at);
    m_bEdited = true;
}

void CClipboardDlg::StoreEdited() {
    if (!m_bEdited) return;
    // The part of a huge entry still loading is taken as stored, so leaving
    // the editor does not wait for the rest to be shown.
    std::string text = ToUtf8(EditorText(m_pEditor));
    if (m_pLoader->Loading()) text += StoredToEditorText(m_pLoader->Pending());
    Apply(m_history.StoreEdited(std::move(text)));
}

bool CClipboardDlg::eventFilter(QObject* watched, QEvent* event) {
    // Typing works on the part already shown while the rest loads; the keys
    // that reach the end of the entry or all of it, the editor's own menu
    // (Select All, Copy ...), a drop and a middle-click paste work on the
    // whole entry: load the rest first.
    if (m_pLoader && m_pLoader->Loading()) {
        const QEvent::Type type = event->type();
        if ((watched == m_pEditor && type == QEvent::KeyPress &&
             NeedsWholeText(static_cast<QKeyEvent*>(event))) ||
            (watched == m_pEditor->viewport() &&
             (type == QEvent::ContextMenu || type == QEvent::Drop ||
              (type == QEvent::MouseButtonPress &&
               static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton))))
            m_pLoader->Finish();
    }
    if (watched == m_pEditor && event->type() == QEvent::FocusOut) {
        // A context menu or the menu bar taking the keyboard for a moment is
        // not a loss of focus.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) StoreEdited();
    }
    return CToolWindow::eventFilter(watched, event);
}

void CClipboardDlg::hideEvent(QHideEvent* event) {
    // Esc, close, minimise and "<- Notes" keep what was typed last.
    StoreEdited();
    CToolWindow::hideEvent(event);
}

void CClipboardDlg::showEvent(QShowEvent* event) {
    FlushEditor();
    CToolWindow::showEvent(event);
}

// ---------------------------------------------------------------- search

bool CClipboardDlg::AskWrap() { return m_fnAskWrap ? m_fnAskWrap() : false; }

void CClipboardDlg::Find() {
    FlushEditor();
    m_pLoader->Finish();
    StoreEdited();
    m_strFind = m_pFind->text();
    const std::string find = ToUtf8(m_strFind);
    // The search starts at the end of the editor's selection in the current entry.
    size_t nFrom = 0;
    const int nCur = m_history.Current();
    if (nCur >= 0 && nCur < m_history.Count())
        nFrom = EditorToStoredOffset(m_history.Entry(nCur),
                                     size_t(m_pEditor->textCursor().selectionEnd()));
    const auto match = m_history.SearchClips(find, nFrom, [this] { return AskWrap(); });
    if (!match) return;
    Apply(m_history.ShowFound(*match));
    FlushEditor();
    m_pLoader->Finish();
    const std::string& entry = m_history.Entry(match->nEntry);
    QTextCursor c = m_pEditor->textCursor();
    c.setPosition(int(StoredToEditorOffset(entry, match->nPos)));
    c.setPosition(int(StoredToEditorOffset(entry, match->nPos + match->nLen)),
                  QTextCursor::KeepAnchor);
    m_pEditor->setFocus(Qt::OtherFocusReason);
    m_pEditor->setTextCursor(c);
    m_pEditor->ensureCursorVisible();
}

// ---------------------------------------------------------------- "<- Notes"

void CClipboardDlg::OnNotes() { emit notesRequested(); }

}  // namespace meru
