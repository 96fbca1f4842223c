#include "gui/notes/help_window.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace meru {

CHelpWindow::CHelpWindow(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("MERU - Notes - Help"));
    setModal(false);
    m_pText = new QTextBrowser(this);
    m_pText->setOpenLinks(false);
    m_pText->setHtml(HelpHtml());
    auto* pClose = new QPushButton(QStringLiteral("OK"), this);
    connect(pClose, &QPushButton::clicked, this, &QDialog::close);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pText);
    pLayout->addWidget(pClose, 0, Qt::AlignRight);
    resize(520, 460);
}

QString CHelpWindow::HelpHtml() {
    return QStringLiteral(
        "<h3>Notes</h3>"
        "<p>The notes are a notebook of pages. The page shown is in the large editor; "
        "whatever you type is kept when you change page, hide the window or exit.</p>"
        "<h4>Tool row</h4>"
        "<ul>"
        "<li><b>Taglia, Copia, Incolla, Undo</b>: cut, copy, paste and undo in the editor.</li>"
        "<li><b>Clear</b>: deletes the page shown, after the question &quot;Are you sure?&quot;. "
        "Tick &quot;Delete immediately&quot; to stop being asked until the program ends. "
        "The last remaining page is emptied instead of deleted.</li>"
        "<li><b>Linea</b>: inserts a line of underscores after the selection (or at the "
        "caret).</li>"
        "<li><b>MAIL</b>: asks for an address and a subject and opens your mail program.</li>"
        "<li><b>URL</b>: opens the selected web address in your browser; "
        "<i>http://</i> is put in front of an address without a scheme.</li>"
        "<li><b>Search field and Trova</b>: type a text and press Enter or Trova. The search "
        "goes forward from the caret through the following pages and selects the match; "
        "after the last page it asks whether to go on from the first one. "
        "The search is case-sensitive.</li>"
        "<li><b>print</b>: prints every page of the text shown, or saves it as a PDF file.</li>"
        "</ul>"
        "<h4>Bottom row</h4>"
        "<ul>"
        "<li>The buttons beside the date and the time insert today's date (dd/mm/yy) "
        "or the current time (hh:mm:ss) after the selection.</li>"
        "<li><b>Pag.</b>: the list of all pages with the start of their first line; "
        "double-click one (or select it and press OK) to go there.</li>"
        "<li><b>&lt;</b> and <b>&gt;</b>: previous and next page. "
        "<b>&gt;</b> on the last page adds a new empty page.</li>"
        "</ul>"
        "<p>The pages are written to the data file when you choose Exit.</p>");
}

}  // namespace meru
