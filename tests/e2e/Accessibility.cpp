// SPDX-License-Identifier: GPL-3.0-or-later
#include "Accessibility.h"
#include "Program.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atspi/atspi.h>
#include <utility>

namespace {

// Errors are answers here ("no such interface", "gone"): dropped, the result says it.
struct Error {
    GError *e = nullptr;
    ~Error() { g_clear_error(&e); }
    GError **operator&() { return &e; }
    explicit operator bool() const { return e != nullptr; }
};

// A string the library hands over, taken and freed.
QString take(gchar *text) {
    const QString s = QString::fromUtf8(text ? text : "");
    g_free(text);
    return s;
}

// One of a node's interfaces, released when done; null where the node has none.
template <typename T> std::unique_ptr<T, void (*)(gpointer)> use(T *iface) {
    return {iface, g_object_unref};
}

bool hasState(AtspiAccessible *node, AtspiStateType state) {
    auto set = use(node ? atspi_accessible_get_state_set(node) : nullptr);
    return set && atspi_state_set_contains(set.get(), state);
}

} // namespace

A11yNode::A11yNode(AtspiAccessible *adopted) {
    if (adopted)
        node_.reset(adopted, g_object_unref);
}

QString A11yNode::name() const {
    Error err;
    return node_ ? take(atspi_accessible_get_name(node_.get(), &err)) : QString();
}
QString A11yNode::role() const {
    Error err;
    return node_ ? take(atspi_accessible_get_role_name(node_.get(), &err)) : QString();
}

bool A11yNode::showing() const {
    return hasState(node_.get(), ATSPI_STATE_SHOWING);
}
bool A11yNode::checked() const {
    return hasState(node_.get(), ATSPI_STATE_CHECKED);
}
bool A11yNode::isDefault() const {
    return hasState(node_.get(), ATSPI_STATE_IS_DEFAULT);
}
bool A11yNode::enabled() const {
    return hasState(node_.get(), ATSPI_STATE_ENABLED);
}
QString A11yNode::text() const {
    auto text = use(node_ ? atspi_accessible_get_text_iface(node_.get()) : nullptr);
    Error err;
    gchar *s = text ? atspi_text_get_text(text.get(), 0, -1, &err) : nullptr;
    const QString result = QString::fromUtf8(s);
    g_free(s);
    return result;
}

std::vector<A11yNode> A11yNode::findAll(const std::function<bool(const A11yNode &)> &match) const {
    std::vector<A11yNode> found;
    std::function<void(const A11yNode &, int)> walk = [&](const A11yNode &n, int depth) {
        if (!n.valid() || depth > 30)
            return;
        if (match(n))
            found.push_back(n);
        Error err;
        const int count = atspi_accessible_get_child_count(n.node_.get(), &err);
        for (int i = 0; i < count; ++i) {
            Error childErr;
            walk(A11yNode(atspi_accessible_get_child_at_index(n.node_.get(), i, &childErr)),
                 depth + 1);
        }
    };
    walk(*this, 0);
    return found;
}

void A11yNode::askEveryTime() const {
    if (node_)
        atspi_accessible_set_cache_mask(node_.get(), ATSPI_CACHE_NONE);
}

bool A11yNode::press() const {
    auto action = use(node_ ? atspi_accessible_get_action_iface(node_.get()) : nullptr);
    Error err;
    return action && atspi_action_do_action(action.get(), 0, &err) && !err;
}

bool A11yNode::click() const {
    auto component = use(node_ ? atspi_accessible_get_component_iface(node_.get()) : nullptr);
    Error err;
    AtspiRect *r = component
                       ? atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, &err)
                       : nullptr;
    const bool clicked =
        r && atspi_generate_mouse_event(r->x + r->width / 2, r->y + r->height / 2, "b1c", &err);
    g_free(r);
    return clicked && !err;
}

double A11yNode::value() const {
    auto value = use(node_ ? atspi_accessible_get_value_iface(node_.get()) : nullptr);
    Error err;
    return value ? atspi_value_get_current_value(value.get(), &err) : -1.0;
}

bool A11yNode::setValue(double v) const {
    auto value = use(node_ ? atspi_accessible_get_value_iface(node_.get()) : nullptr);
    Error err;
    return value && atspi_value_set_current_value(value.get(), v, &err) && !err;
}

bool A11yNode::setText(const QString &text) const {
    auto editable = use(node_ ? atspi_accessible_get_editable_text_iface(node_.get()) : nullptr);
    Error err;
    return editable &&
           atspi_editable_text_set_text_contents(editable.get(), text.toUtf8().constData(), &err) &&
           !err;
}

A11yEvents::A11yEvents(const char *type) : type_(QString::fromLatin1(type)) {
    listener_ = atspi_event_listener_new(&A11yEvents::received, this, nullptr);
    Error err;
    atspi_event_listener_register(listener_, type, &err);
}

A11yEvents::~A11yEvents() {
    Error err;
    atspi_event_listener_deregister(listener_, type_.toLatin1().constData(), &err);
    g_object_unref(listener_);
}

void A11yEvents::received(AtspiEvent *event, void *self) {
    const A11yNode source(
        event->source ? static_cast<AtspiAccessible *>(g_object_ref(event->source)) : nullptr);
    static_cast<A11yEvents *>(self)->seen_.emplace_back(source.role(), source.name());
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool A11yEvents::heard(const QString &role, const QString &name) const {
    return std::find(seen_.begin(), seen_.end(), std::pair(role, name)) != seen_.end();
}

namespace a11y {

bool startSession(QProcess &bus) {
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QElapsedTimer timer;
    timer.start();
    while (bus.waitForStarted() && !bus.canReadLine() && timer.elapsed() < 10000)
        bus.waitForReadyRead(100);
    const QByteArray address = bus.readLine().trimmed();
    if (address.isEmpty())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    // The accessibility bus is started on demand by the session bus; programs find it
    // on the X server's root window.
    QString a11yAddress;
    if (!runCommand("dbus-send",
                    {"--session", "--print-reply=literal", "--dest=org.a11y.Bus", "/org/a11y/bus",
                     "org.a11y.Bus.GetAddress"},
                    &a11yAddress))
        return false;
    a11yAddress = a11yAddress.trimmed();
    if (a11yAddress.isEmpty() || !runCommand("xprop", {"-root", "-f", "AT_SPI_BUS", "8s", "-set",
                                                       "AT_SPI_BUS", a11yAddress}))
        return false;
    qputenv("AT_SPI_BUS_ADDRESS", a11yAddress.toUtf8());
    atspi_init();
    qunsetenv("AT_SPI_BUS_ADDRESS"); // Qt's bridge does not take it; it reads the window
    return true;
}

A11yNode application(qint64 pid, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (; timer.elapsed() < timeoutMs; QTest::qWait(100)) {
        auto desktop = use(atspi_get_desktop(0));
        Error err;
        const int count = atspi_accessible_get_child_count(desktop.get(), &err);
        A11yNode found;
        for (int i = 0; i < count && !found.valid(); ++i) {
            Error childErr, pidErr;
            auto *app = atspi_accessible_get_child_at_index(desktop.get(), i, &childErr);
            if (app && atspi_accessible_get_process_id(app, &pidErr) == guint(pid))
                found = A11yNode(app);
            else if (app)
                g_object_unref(app);
        }
        if (found.valid()) {
            found.askEveryTime();
            return found;
        }
    }
    return {};
}

A11yNode waitFor(const A11yNode &root, const QString &role, const QString &name, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;; QTest::qWait(100)) {
        const auto found = root.findAll(
            [&](const A11yNode &n) { return n.role() == role && n.name() == name && n.showing(); });
        if (!found.empty() || timer.elapsed() >= timeoutMs)
            return found.empty() ? A11yNode() : found.front();
    }
}

bool typeKey(unsigned long keysym) {
    Error err;
    return atspi_generate_keyboard_event(long(keysym), nullptr, ATSPI_KEY_SYM, &err) && !err;
}

} // namespace a11y
