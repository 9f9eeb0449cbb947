#pragma once

// Scripted stand-ins for the window's Open dialog and message boxes, so that
// the tests can answer them and see what the window showed.

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "app/qt/message_box.h"
#include "app/qt/open_dialog.h"
#include "tests/support/yes_no_answers.h"

class ScriptedFileDialog final : public vlt::OpenDialog {
  public:
    // What the dialog held each time it was shown.
    struct Shown {
        QString filter;
        QString fileName;
        QString folder;
    };

    // One answer per showing, in order: a path, or kCancel. With no answer
    // left the dialog is cancelled.
    static inline const QString kCancel;
    QStringList answers;
    QList<Shown> shown;

    std::optional<QString> Ask(const QString& filter, const QString& fileName,
                               const QString& folder) override {
        shown.append({filter, fileName, folder});
        const QString answer = answers.isEmpty() ? kCancel : answers.takeFirst();
        if (answer.isNull()) {
            return std::nullopt;
        }
        return answer;
    }
};

class RecordingMessageBox final : public vlt::MessageBox {
  public:
    enum class Kind { Note, Error, Question };
    struct Message {
        Kind kind;
        QString text;
    };

    QList<Message> log;
    // Answers to the Yes/No questions, in order; with none left the answer is No.
    std::deque<bool> answers;
    // Called after each message is logged, e.g. to leave an event loop waiting for it.
    std::function<void()> onShown;

    void Inform(const QString& text) override { Log(Kind::Note, text); }
    void ShowError(const QString& text) override { Log(Kind::Error, text); }
    bool AskYesNo(const QString& text) override {
        Log(Kind::Question, text);
        return NextAnswer(answers);
    }

    QStringList Texts() const {
        QStringList texts;
        for (const Message& message : log) {
            texts << message.text;
        }
        return texts;
    }

  private:
    void Log(Kind kind, const QString& text) {
        log.append({kind, text});
        if (onShown) {
            onShown();
        }
    }
};
