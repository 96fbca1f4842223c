#pragma once
// The system clipboard (the CLIPBOARD selection, never PRIMARY) behind a small
// interface, and its Qt implementation. Texts cross this interface as UTF-8
// std::string, exactly as copied.
#include <functional>
#include <string>
#include <vector>

namespace meru {

class IClipboard {
public:
    virtual ~IClipboard() = default;
    // The plain text (text/plain) on the clipboard, UTF-8; "" when there is
    // none (a picture, nothing at all).
    virtual std::string Text() const = 0;
    // Puts the text on the clipboard as plain text, replacing everything.
    virtual void SetText(const std::string& utf8) = 0;
    // Empties the clipboard.
    virtual void Clear() = 0;
    // The MIME types the current content is offered in.
    virtual std::vector<std::string> Formats() const = 0;
    // The content carries x-kde-passwordManagerHint with the value "secret".
    virtual bool IsSecret() const = 0;
    // Nothing is on the clipboard: on X11 no program owns the selection (its
    // content died with the program that held it), elsewhere no format.
    virtual bool IsEmpty() const = 0;
    // Called after every change of the content, our own writes included
    // (those synchronously, from inside SetText and Clear). One callback; an
    // empty function removes it.
    virtual void SetChangedCallback(std::function<void()> fn) = 0;
};

// QClipboard in QClipboard::Clipboard mode. Needs a QGuiApplication.
class CQtClipboard final : public IClipboard {
public:
    CQtClipboard();
    ~CQtClipboard() override;
    CQtClipboard(const CQtClipboard&) = delete;
    CQtClipboard& operator=(const CQtClipboard&) = delete;

    std::string Text() const override;
    void SetText(const std::string& utf8) override;
    void Clear() override;
    std::vector<std::string> Formats() const override;
    bool IsSecret() const override;
    bool IsEmpty() const override;
    void SetChangedCallback(std::function<void()> fn) override;

private:
    struct Impl;
    Impl* m_pImpl;
};

}  // namespace meru
