#include "gui/clipboard/clip_link.h"

namespace meru {

bool CClipboardLink::Seed() {
    if (m_clip.IsEmpty()) return m_history.Seed({});
    const bool bSecret = m_clip.IsSecret();
    return m_history.Seed(bSecret ? std::string() : m_clip.Text(), bSecret);
}

void CClipboardLink::Start() {
    m_bStarted = true;
    m_clip.SetChangedCallback([this] { OnChanged(); });
}

void CClipboardLink::Stop() {
    if (!m_bStarted) return;
    m_bStarted = false;
    m_clip.SetChangedCallback({});
}

void CClipboardLink::OnChanged() {
    if (m_bPublishing) {
        m_eLast = CaptureResult::Publishing;
        return;
    }
    if (m_clip.IsEmpty()) {
        // The program that held the content went away (or emptied it): put the
        // current entry back so that a paste still gives it.
        m_eLast = CaptureResult::Empty;
        if (auto pub = m_history.ClipboardEmptied()) Apply(*pub);
        return;
    }
    // The hint is checked first so a secret text is never even read.
    const bool bSecret = m_clip.IsSecret();
    ClipCapture cap = m_history.CaptureClipboard(bSecret ? std::string() : m_clip.Text(), bSecret);
    m_eLast = cap.eResult;
    if (cap.pub) Apply(*cap.pub);
}

void CClipboardLink::WriteEntry(int i) {
    m_bPublishing = true;
    m_clip.SetText(m_history.Entry(i));
    m_bPublishing = false;
}

void CClipboardLink::Apply(const ClipPublication& pub) {
    emit published(pub);
    switch (pub.eClipboard) {
        case ClipboardAction::Keep: break;
        case ClipboardAction::Write:
            if (pub.nCur >= 0 && pub.nCur < m_history.Count()) WriteEntry(pub.nCur);
            break;
        case ClipboardAction::Empty:
            m_bPublishing = true;
            m_clip.Clear();
            m_bPublishing = false;
            break;
    }
}

}  // namespace meru
