#pragma once

#include <QProcess>
#include <QString>
#include <functional>
#include <vector>

typedef struct _AtspiAccessible AtspiAccessible;

// A thin handle on the accessibility bus (AT-SPI), the way a screen reader or a GUI
// test driver sees a program: controls found by role and accessible name, pressed
// through their actions, keys typed through the desktop.
class A11yNode {
  public:
    A11yNode() = default;
    explicit A11yNode(AtspiAccessible *adopted);
    A11yNode(const A11yNode &other);
    A11yNode &operator=(A11yNode other);
    ~A11yNode();

    bool valid() const { return node_ != nullptr; }
    QString name() const;
    QString description() const;
    QString role() const;
    // What a label or text shows (its text interface), or the name.
    QString text() const;
    // The name of the label that labels this control (a combo box's caption).
    QString labelledBy() const;
    bool showing() const;
    bool checked() const;
    bool isDefault() const; // the button Return presses
    int childCount() const;
    A11yNode child(int i) const;

    // Every node below (and including) this one for which match is true.
    std::vector<A11yNode> findAll(const std::function<bool(const A11yNode &)> &match) const;
    A11yNode find(const QString &role, const QString &name) const;

    // Names and texts change as a program runs: no cached answers below this node.
    void askEveryTime() const;
    bool press() const; // the first action: "Press", "Toggle", ...
    // A mouse click in the middle of the control, where the desktop shows it.
    bool click() const;
    double value() const;
    bool setValue(double v) const;

  private:
    AtspiAccessible *node_ = nullptr;
};

// Events of one type from the bus, as a screen reader hears them: the role and name
// of the object each came from. They arrive while the test's event loop runs.
class A11yEvents {
  public:
    explicit A11yEvents(const char *type);
    ~A11yEvents();
    A11yEvents(const A11yEvents &) = delete;
    A11yEvents &operator=(const A11yEvents &) = delete;

    struct Seen {
        QString role, name;
    };
    const std::vector<Seen> &seen() const { return seen_; }
    bool heard(const QString &role, const QString &name) const;

  private:
    static void received(struct _AtspiEvent *event, void *self);
    struct _AtspiEventListener *listener_ = nullptr;
    QString type_;
    std::vector<Seen> seen_;
};

namespace a11y {

// Starts a D-Bus session bus of the test's own in `bus` and points this process (and
// the programs it starts) at it and at its accessibility bus, explicitly: the address
// left on the X server's root window may be another test's, long gone, so it is set
// anew.
// Then starts using that accessibility bus. False if either bus is missing.
bool startSession(QProcess &bus);
// The application called name on the desktop, waiting up to timeoutMs for it.
A11yNode application(const QString &name, int timeoutMs);
// Waits until find() on root gives a showing node, up to timeoutMs.
A11yNode waitFor(const A11yNode &root, const QString &role, const QString &name, int timeoutMs);
// Types a key (an X keysym) into the focused window.
bool typeKey(unsigned long keysym);

} // namespace a11y
