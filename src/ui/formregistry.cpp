#include "ui/formregistry.h"

#include "link/devicelink.h"

#include <QCloseEvent>

namespace zor {

Form::Form() : QWidget(nullptr, Qt::Window) {}

void Form::closeEvent(QCloseEvent *event) {
    event->accept();
    emit closed();
}

FormRegistry::FormRegistry(DeviceLink &link, QObject *parent) : QObject(parent), link_(link) {}

FormRegistry::~FormRegistry() {
    for (auto &entry : forms_)
        delete entry.form.data();
}

void FormRegistry::forget(QWidget *form) {
    for (auto it = forms_.begin(); it != forms_.end(); ++it) {
        if (it->form == form) {
            forms_.erase(it);
            break;
        }
    }
    if (form)
        form->hide();
}

void FormRegistry::unload(QWidget *form) {
    forget(form);
    if (!form)
        return;
    QPointer<QWidget> guard(form);
    link_.whenIdle([guard] {
        if (guard)
            guard->deleteLater();
    });
}

void FormRegistry::unloadAll() {
    while (!forms_.empty()) {
        QWidget *last = forms_.back().form;
        if (!last) {
            forms_.pop_back();
            continue;
        }
        unload(last);
    }
}

int FormRegistry::loadedCount() const {
    int n = 0;
    for (const auto &entry : forms_)
        n += entry.form ? 1 : 0;
    return n;
}

} // namespace zor
