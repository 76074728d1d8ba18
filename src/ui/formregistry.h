#pragma once

#include <QPointer>
#include <QWidget>
#include <type_traits>
#include <typeindex>
#include <vector>

namespace zor {

class DeviceLink;

// A single-instance window. Created hidden on first touch; closing it with its
// close box unloads it from the registry that made it, and the next touch
// loads a fresh one.
class Form : public QWidget {
    Q_OBJECT
public:
    Form();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

class FormRegistry : public QObject {
    Q_OBJECT
public:
    explicit FormRegistry(DeviceLink &link, QObject *parent = nullptr);
    ~FormRegistry() override;

    // The loaded instance, or a new hidden one made from args.
    template <class F, class... Args> F &get(Args &&...args) {
        if (F *existing = find<F>())
            return *existing;
        F *form = new F(std::forward<Args>(args)...);
        forms_.push_back({std::type_index(typeid(F)), form});
        if constexpr (std::is_base_of_v<Form, F>)
            connect(form, &Form::closed, this, [this, form] { unload(form); });
        return *form;
    }

    template <class F> F *find() const {
        for (const auto &entry : forms_)
            if (entry.type == std::type_index(typeid(F)) && entry.form)
                return static_cast<F *>(entry.form.data());
        return nullptr;
    }

    // Unloads one window. Deletion waits until no handler is running, since a
    // handler of that window may be waiting for a reply right now.
    void unload(QWidget *form);
    // Takes one window out, hidden but kept: the next touch loads a fresh
    // one, and its owner unloads this one once done with it.
    void forget(QWidget *form);
    // Unloads every window, most recently loaded first.
    void unloadAll();
    int loadedCount() const;

private:
    struct Entry {
        std::type_index type;
        QPointer<QWidget> form;
    };
    DeviceLink &link_;
    std::vector<Entry> forms_;
};

} // namespace zor
