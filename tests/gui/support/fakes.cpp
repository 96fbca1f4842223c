#include "support/fakes.h"

namespace meru {

namespace {
constexpr const char* kSecretHint = "x-kde-passwordManagerHint";
}  // namespace

void CFakeClipboard::SetText(const std::string& utf8) {
    ++m_nSetText;
    m_strText = utf8;
    m_aFormats = {"text/plain"};
    m_bSecret = false;
    Notify();
}

void CFakeClipboard::Clear() {
    ++m_nClear;
    m_strText.clear();
    m_aFormats.clear();
    m_bSecret = false;
    Notify();
}

void CFakeClipboard::Copy(const std::string& text, std::vector<std::string> extraFormats,
                          bool bSecret) {
    m_strText = text;
    m_aFormats = {"text/plain"};
    m_aFormats.insert(m_aFormats.end(), extraFormats.begin(), extraFormats.end());
    if (bSecret) m_aFormats.push_back(kSecretHint);
    m_bSecret = bSecret;
    Notify();
}

void CFakeClipboard::CopyPicture() {
    m_strText.clear();
    m_aFormats = {"image/png"};
    m_bSecret = false;
    Notify();
}

void CFakeClipboard::OwnerGone() {
    m_strText.clear();
    m_aFormats.clear();
    m_bSecret = false;
    Notify();
}

bool CFakeLauncher::openUrl(const QUrl& url) {
    calls.push_back({Call::Url, url, {}, {}, {}});
    return result;
}

bool CFakeLauncher::startDetached(const QString& program, const QStringList& args,
                                  const QString& workingDir) {
    calls.push_back({Call::Process, {}, program, args, workingDir});
    return result;
}

}  // namespace meru
