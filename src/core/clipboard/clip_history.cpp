#include "core/clipboard/clip_history.h"

#include <algorithm>
#include <functional>

#include "core/notes/page_store.h"
#include "core/text/text_codec.h"

namespace meru {

namespace {

size_t HashText(std::string_view text) { return std::hash<std::string_view>{}(text); }

}  // namespace

std::string MakeClipLabel(int n, std::string_view text) {
    // CR and LF are one byte and one character each, so cutting first and
    // replacing afterwards gives the same label without touching a long text.
    std::string cut(text.substr(0, Utf8PrefixBytes(text, kClipLabelChars)));
    std::replace(cut.begin(), cut.end(), '\r', ' ');
    std::replace(cut.begin(), cut.end(), '\n', ' ');
    return std::to_string(n) + " - " + cut;
}

int ClipTrayIcon(int nCur) {
    return nCur >= 0 && nCur <= 4 ? kClipTrayIconDigit1 + nCur : kClipTrayIconPlain;
}

std::vector<std::string> ClipPagesForNotes(const std::vector<std::string>& history) {
    std::vector<std::string> pages;
    pages.reserve(history.size());
    for (const std::string& entry : history) pages.push_back(EditorToStoredText(entry));
    return pages;
}

std::vector<std::string> CClipHistory::Labels() const {
    std::vector<std::string> labels;
    labels.reserve(m_aClipHistory.size());
    for (int i = 0; i < Count(); ++i) labels.push_back(Label(i));
    return labels;
}

void CClipHistory::Append(std::string_view text, size_t nHash) {
    m_aClipHistory.emplace_back(text);
    m_aHashes.push_back(nHash);
}

bool CClipHistory::Seed(std::string_view text, bool bSecret) {
    m_aClipHistory.clear();
    m_aHashes.clear();
    m_nClipCur = 0;
    m_nOnClipboard = -1;
    m_bRemovedOnClipboard = false;
    if (text.empty() || bSecret) return false;
    Append(text, HashText(text));
    m_nOnClipboard = 0;
    return true;
}

ClipboardAction CClipHistory::WriteAction(int i) const {
    if (m_nOnClipboard < 0) return ClipboardAction::Write;
    if (m_nOnClipboard == i) return ClipboardAction::Keep;
    const size_t a = static_cast<size_t>(m_nOnClipboard), b = static_cast<size_t>(i);
    if (m_aHashes[a] == m_aHashes[b] && m_aClipHistory[a] == m_aClipHistory[b])
        return ClipboardAction::Keep;
    return ClipboardAction::Write;
}

ClipPublication CClipHistory::Publish(bool bCapture) {
    ClipPublication pub;
    if (m_aClipHistory.empty()) {
        pub.nCur = -1;
        pub.nTrayIcon = kClipTrayIconPlain;
        pub.eClipboard = m_bRemovedOnClipboard ? ClipboardAction::Empty : ClipboardAction::Keep;
        m_bRemovedOnClipboard = false;
        m_nOnClipboard = -1;
        return pub;
    }
    m_nClipCur = std::clamp(m_nClipCur, 0, Count() - 1);
    pub.nCur = m_nClipCur;
    pub.nTrayIcon = ClipTrayIcon(m_nClipCur);
    pub.eClipboard = bCapture ? ClipboardAction::Keep : WriteAction(m_nClipCur);
    m_nOnClipboard = m_nClipCur;
    m_bRemovedOnClipboard = false;
    return pub;
}

ClipPublication CClipHistory::PublishClip() { return Publish(false); }

ClipCapture CClipHistory::CaptureClipboard(std::string_view text, bool bSecret, bool bPublishing) {
    ClipCapture cap;
    if (bPublishing) {
        cap.eResult = CaptureResult::Publishing;
        return cap;
    }
    // From here on the clipboard holds someone else's content.
    m_bRemovedOnClipboard = false;
    m_nOnClipboard = -1;
    if (bSecret) {
        cap.eResult = CaptureResult::Secret;
        return cap;
    }
    if (text.empty()) {
        cap.eResult = CaptureResult::Empty;
        return cap;
    }
    const size_t nHash = HashText(text);
    for (size_t i = 0; i < m_aClipHistory.size(); ++i) {
        if (m_aHashes[i] == nHash && m_aClipHistory[i] == text) {
            m_nOnClipboard = static_cast<int>(i);
            cap.eResult = CaptureResult::Duplicate;
            return cap;
        }
    }
    Append(text, nHash);
    m_nClipCur = Count() - 1;
    cap.eResult = CaptureResult::Added;
    cap.pub = Publish(true);
    return cap;
}

std::optional<ClipPublication> CClipHistory::ClipboardEmptied() {
    // The text the clipboard held last is what a paste must still give: a
    // repeated copy of an older entry leaves that entry there, not the
    // current one.
    const int nLast = m_nOnClipboard;
    m_nOnClipboard = -1;
    m_bRemovedOnClipboard = false;
    if (m_aClipHistory.empty()) return std::nullopt;
    ClipPublication pub;
    pub.bList = false;
    if (nLast >= 0 && nLast < Count() && nLast != m_nClipCur) {
        // That entry becomes current: editor and tray follow, the list only
        // moves its selection.
        m_nClipCur = nLast;
    } else {
        m_nClipCur = std::clamp(m_nClipCur, 0, Count() - 1);
        pub.bEditor = pub.bTray = false;
    }
    pub.nCur = m_nClipCur;
    pub.nTrayIcon = ClipTrayIcon(m_nClipCur);
    pub.eClipboard = ClipboardAction::Write;
    m_nOnClipboard = m_nClipCur;
    return pub;
}

std::optional<ClipPublication> CClipHistory::SelectClip(int n) {
    if (n < 1) return std::nullopt;
    const int i = std::min(n - 1, Count() - 1);
    if (i < 0) return std::nullopt;
    m_nClipCur = i;
    return Publish(false);
}

ClipPublication CClipHistory::ChooseAndWrite(int i) {
    m_nClipCur = i;
    ClipPublication pub;
    pub.nCur = i;
    pub.nTrayIcon = ClipTrayIcon(i);
    pub.bList = false;
    pub.eClipboard = WriteAction(i);
    m_nOnClipboard = i;
    m_bRemovedOnClipboard = false;
    return pub;
}

std::optional<ClipPublication> CClipHistory::ChooseEntry(int i) {
    if (i < 0 || i >= Count()) return std::nullopt;
    return ChooseAndWrite(i);
}

std::optional<ClipPublication> CClipHistory::PreviousEntry() {
    if (m_nClipCur <= 0 || m_nClipCur > Count()) return std::nullopt;
    return ChooseAndWrite(m_nClipCur - 1);
}

std::optional<ClipPublication> CClipHistory::NextEntry() {
    if (m_nClipCur < 0 || m_nClipCur >= Count() - 1) return std::nullopt;
    return ChooseAndWrite(m_nClipCur + 1);
}

ClipPublication CClipHistory::DeleteCurrent() {
    if (m_nClipCur >= 0 && m_nClipCur < Count()) {
        const size_t i = static_cast<size_t>(m_nClipCur);
        m_aClipHistory.erase(m_aClipHistory.begin() + static_cast<std::ptrdiff_t>(i));
        m_aHashes.erase(m_aHashes.begin() + static_cast<std::ptrdiff_t>(i));
        if (m_nOnClipboard == m_nClipCur) {
            m_nOnClipboard = -1;
            m_bRemovedOnClipboard = true;
        } else if (m_nOnClipboard > m_nClipCur) {
            --m_nOnClipboard;
        }
        if (m_aClipHistory.empty()) m_nClipCur = 0;
    }
    return Publish(false);
}

ClipPublication CClipHistory::ClearAll() {
    if (m_nOnClipboard >= 0) m_bRemovedOnClipboard = true;
    m_aClipHistory.clear();
    m_aHashes.clear();
    m_nOnClipboard = -1;
    m_nClipCur = 0;
    return Publish(false);
}

ClipPublication CClipHistory::StoreEdited(std::string_view text) {
    int i = 0;
    if (m_aClipHistory.empty()) {
        Append(text, HashText(text));
        m_nClipCur = 0;
    } else {
        m_nClipCur = std::clamp(m_nClipCur, 0, Count() - 1);
        i = m_nClipCur;
        std::string& entry = m_aClipHistory[static_cast<size_t>(i)];
        if (entry != text) {
            entry.assign(text);
            m_aHashes[static_cast<size_t>(i)] = HashText(text);
            if (m_nOnClipboard == i) m_nOnClipboard = -1;
        }
    }
    ClipPublication pub = ChooseAndWrite(i);
    pub.bEditor = pub.bTray = false;
    return pub;
}

std::optional<ClipMatch> CClipHistory::FindClip(std::string_view strFind, int nFromEntry,
                                                size_t nFromPos) const {
    size_t start = nFromPos;
    for (int i = std::max(nFromEntry, 0); i < Count(); ++i, start = 0) {
        const std::string_view entry = m_aClipHistory[static_cast<size_t>(i)];
        if (start > entry.size()) continue;
        const size_t p = entry.find(strFind, start);
        if (p != std::string_view::npos) return ClipMatch{i, p, strFind.size()};
    }
    return std::nullopt;
}

std::optional<ClipMatch> CClipHistory::SearchClips(std::string_view strFind, size_t nFromPos,
                                                   const std::function<bool()>& askWrap) const {
    if (auto m = FindClip(strFind, m_nClipCur, nFromPos)) return m;
    while (askWrap && askWrap()) {
        if (auto m = FindClip(strFind, 0, 0)) return m;
    }
    return std::nullopt;
}

ClipPublication CClipHistory::ShowFound(const ClipMatch& match) {
    m_nClipCur = match.nEntry;
    return Publish(false);
}

}  // namespace meru
