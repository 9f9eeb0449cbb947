#pragma once

// The window's message boxes: OK-only notes and errors, and one Yes/No
// question, all titled with the application's title.

#include <QString>

namespace vlt {

class MessageBox {
  public:
    virtual ~MessageBox() = default;
    // A note or a prompt with a single OK button; returns when it is closed.
    virtual void Inform(const QString& text) = 0;
    // A failure with a single OK button; returns when it is closed.
    virtual void ShowError(const QString& text) = 0;
    // A question with Yes and No, No being the default; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
};

// Qt's message boxes, over the active window.
class QtMessageBox final : public MessageBox {
  public:
    void Inform(const QString& text) override;
    void ShowError(const QString& text) override;
    bool AskYesNo(const QString& text) override;
};

}  // namespace vlt
