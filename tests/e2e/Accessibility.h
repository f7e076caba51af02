// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

typedef struct _AtspiAccessible AtspiAccessible;

// A program as a screen reader sees it on the accessibility bus (AT-SPI): controls found
// by role and name, pressed through their actions; keys typed through the desktop.
class A11yNode {
  public:
    A11yNode() = default;
    explicit A11yNode(AtspiAccessible *adopted); // takes over the reference

    bool valid() const { return node_ != nullptr; }
    QString name() const;
    QString role() const;
    bool showing() const;
    bool checked() const;
    bool isDefault() const; // the button Return presses
    bool enabled() const;
    QString text() const; // an editable text's contents
    // Every node below (and including) this one for which match is true.
    std::vector<A11yNode> findAll(const std::function<bool(const A11yNode &)> &match) const;
    void askEveryTime() const; // names change as a program runs: no cached answers below
    bool press() const;        // the first action: "Press", "Toggle", ...
    bool click() const;        // a mouse click in the middle of the control
    double value() const;
    bool setValue(double v) const;
    bool setText(const QString &text) const; // an editable text's whole contents

  private:
    std::shared_ptr<AtspiAccessible> node_;
};

// Events of one type from the bus (role and name of their sources), as a screen reader
// hears them while the test's event loop runs.
class A11yEvents {
  public:
    explicit A11yEvents(const char *type);
    ~A11yEvents();
    A11yEvents(const A11yEvents &) = delete;
    A11yEvents &operator=(const A11yEvents &) = delete;
    bool heard(const QString &role, const QString &name) const;

  private:
    static void received(struct _AtspiEvent *event, void *self);
    struct _AtspiEventListener *listener_ = nullptr;
    QString type_;
    std::vector<std::pair<QString, QString>> seen_; // role, name
};

namespace a11y {

// Starts a session bus of the test's own and its accessibility bus, for it and children.
bool startSession(QProcess &bus);
// The application of process `pid` on the desktop, waiting up to timeoutMs for it.
A11yNode application(qint64 pid, int timeoutMs);
// The first showing node of that role and name below root, waiting up to timeoutMs.
A11yNode waitFor(const A11yNode &root, const QString &role, const QString &name, int timeoutMs);
// Types a key (an X keysym) into the focused window.
bool typeKey(unsigned long keysym);

} // namespace a11y
