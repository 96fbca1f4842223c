#include "gui/bookmarks/bookmark_list_page.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QStringListModel>
#include <QTextDocumentFragment>
#include <QUrl>

#include "gui/bookmarks/bookmarks_dlg.h"
#include "core/bookmarks/bookmark_groups.h"

namespace meru {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// text/x-moz-url is "address\ntitle", in UTF-16 from Firefox, in UTF-8 from
// some others.
QString MozUrlText(const QByteArray& data) {
    if (data.size() >= 2 && data.size() % 2 == 0 && data.contains('\0'))
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()),
                                  data.size() / 2);
    return QString::fromUtf8(data);
}

}  // namespace

std::optional<DroppedLink> LinkFromMime(const QMimeData* mime) {
    if (!mime) return std::nullopt;
    if (mime->hasFormat(QStringLiteral("text/x-moz-url"))) {
        const QString text = MozUrlText(mime->data(QStringLiteral("text/x-moz-url")));
        const QStringList lines = text.split(QLatin1Char('\n'));
        const QString url = lines.value(0).trimmed().remove(QChar(0));
        if (!url.isEmpty()) return DroppedLink{url, lines.value(1).trimmed().remove(QChar(0))};
    }
    QString url;
    if (mime->hasUrls()) {
        for (const QUrl& u : mime->urls())
            if (!u.isEmpty()) {
                url = u.toString();
                break;
            }
    }
    if (url.isEmpty() && mime->hasText()) {
        const QString text = mime->text().trimmed();
        // One line of text without blanks that names a scheme: an address.
        static const QRegularExpression kAddress(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:\\S+$"));
        if (kAddress.match(text).hasMatch()) url = text;
    }
    if (url.isEmpty()) return std::nullopt;
    QString title;
    if (mime->hasHtml()) {
        // Chromium: <a href="...">title</a>
        static const QRegularExpression kAnchor(QStringLiteral("<a\\b[^>]*>(.*?)</a>"),
                                                QRegularExpression::CaseInsensitiveOption |
                                                    QRegularExpression::DotMatchesEverythingOption);
        const auto m = kAnchor.match(mime->html());
        if (m.hasMatch())
            title = QTextDocumentFragment::fromHtml(m.captured(1)).toPlainText().simplified();
    }
    return DroppedLink{url, title};
}

CBookmarkListPage::CBookmarkListPage(CBookmarkBook& book, CBookmarksDlg& owner, QWidget* pParent)
    : QWidget(pParent), m_book(book), m_owner(owner) {
    setObjectName(QStringLiteral("206"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    // The page keeps the default colours, not the window's pattern.
    setPalette(QPalette());
    setAutoFillBackground(true);

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("frame"));
    m_pList = new QListView(this);
    m_pList->setObjectName(QStringLiteral("1083"));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A group may hold many thousands of bookmarks: every row has the same
    // height, so the view need not measure them.
    m_pList->setUniformItemSizes(true);
    m_pModel = new QStringListModel(this);
    m_pList->setModel(m_pModel);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pList->setAcceptDrops(true);
    m_pList->viewport()->setAcceptDrops(true);
    m_pList->installEventFilter(this);
    m_pList->viewport()->installEventFilter(this);
    installEventFilter(this);

    connect(m_pList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                OnCurrentChanged(current.isValid() ? current.row() : -1);
            });
    connect(m_pList, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        OnCurrentChanged(index.row());
        m_owner.OpenBookmark();
    });
    connect(m_pList, &QListView::customContextMenuRequested, this,
            &CBookmarkListPage::ShowContextMenu);
}

void CBookmarkListPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The template's frame and list, reaching to the page's right and bottom
    // edges (the page is cut to the tab control it sits in).
    const CDialogUnits du(font());
    const QRect frame(du.X(5), du.Y(5), width() - 2 * du.X(5), height() - 2 * du.Y(5));
    findChild<QGroupBox*>(QStringLiteral("frame"))->setGeometry(frame);
    m_pList->setGeometry(du.X(10), du.Y(10), width() - 2 * du.X(10),
                         height() - du.Y(10) - du.Y(10));
}

void CBookmarkListPage::Refresh() {
    m_bFilling = true;
    const std::vector<std::string> rows = m_book.Rows();
    QStringList list;
    list.reserve(qsizetype(rows.size()));
    for (const std::string& r : rows) list.push_back(FromUtf8(r));
    m_pModel->setStringList(list);
    const int row = m_book.HighlightedRow();
    if (row >= 0) {
        const QModelIndex index = m_pModel->index(row);
        m_pList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_pList->scrollTo(index);
    } else {
        m_pList->selectionModel()->clearSelection();
    }
    m_bFilling = false;
}

void CBookmarkListPage::OnCurrentChanged(int row) {
    if (m_bFilling || row < 0) return;
    m_book.SetSelectedRow(row);
}

void CBookmarkListPage::ShowContextMenu(const QPoint& pos) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Import bookmarks..."), &m_owner,
                    &CBookmarksDlg::ImportBookmarks);
    menu->addAction(QStringLiteral("Export bookmarks..."), &m_owner,
                    &CBookmarksDlg::ExportBookmarks);
    menu->addSeparator();
    menu->addAction(CMeruWindow::AboutCaption(), &m_owner, &CBookmarksDlg::ShowAbout);
    menu->popup(m_pList->viewport()->mapToGlobal(pos));
}

bool CBookmarkListPage::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // Esc in the page is the page's own: it hides the window at once,
            // without the tray's way (no focus change).
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                event->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                m_owner.hide();
                return true;
            }
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                return true;  // nothing
            break;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (watched == m_pList->viewport()) {
                auto* drag = static_cast<QDropEvent*>(event);
                if (LinkFromMime(drag->mimeData())) {
                    drag->setDropAction(Qt::CopyAction);
                    drag->accept();
                } else {
                    drag->ignore();
                }
                return true;
            }
            break;
        case QEvent::Drop:
            if (watched == m_pList->viewport()) {
                auto* drop = static_cast<QDropEvent*>(event);
                if (const auto link = LinkFromMime(drop->mimeData())) {
                    drop->setDropAction(Qt::CopyAction);
                    drop->accept();
                    // The dialog runs after the drag has finished.
                    const DroppedLink l = *link;
                    QMetaObject::invokeMethod(
                        &m_owner, [o = &m_owner, l] { o->AddDroppedLink(l.url, l.title); },
                        Qt::QueuedConnection);
                }
                return true;
            }
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace meru
