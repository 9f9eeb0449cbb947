#pragma once

// The window's controls as the tests reach them: by their control names
// ("Text3" is the key box), the names a user's tools and the layout see.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

struct Form1Controls {
    explicit Form1Controls(const QWidget& form)
        : key(Find<QLineEdit>(form, "Text3")),
          encryptInput(Find<QLineEdit>(form, "Text1")),
          encryptOutput(Find<QLineEdit>(form, "Text2")),
          decryptInput(Find<QLineEdit>(form, "Text6")),
          decryptOutput(Find<QLineEdit>(form, "Text5")),
          encrypt(Find<QPushButton>(form, "Command1")),
          decrypt(Find<QPushButton>(form, "Command2")),
          encryptBrowse(Find<QPushButton>(form, "Command3")),
          decryptBrowse(Find<QPushButton>(form, "Command4")),
          progress(Find<QProgressBar>(form, "ProgressBar1")) {}

    template <class Widget>
    static Widget* Find(const QWidget& form, const char* name) {
        auto* control = form.findChild<Widget*>(QLatin1String(name));
        if (control == nullptr) {
            qFatal("the window has no control %s of the expected kind", name);
        }
        return control;
    }

    QLineEdit* key;
    QLineEdit* encryptInput;
    QLineEdit* encryptOutput;
    QLineEdit* decryptInput;
    QLineEdit* decryptOutput;
    QPushButton* encrypt;
    QPushButton* decrypt;
    QPushButton* encryptBrowse;
    QPushButton* decryptBrowse;
    QProgressBar* progress;
};
