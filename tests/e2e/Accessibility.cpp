// SPDX-License-Identifier: GPL-3.0-or-later
#include "Accessibility.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atspi/atspi.h>
#include <utility>

namespace {

// Errors are answers here ("no such interface", "gone"): dropped, the result says it.
struct Error {
    GError *e = nullptr;
    ~Error() {
        if (e)
            g_error_free(e);
    }
    GError **operator&() { return &e; }
    explicit operator bool() const { return e != nullptr; }
};

// A string the library hands over, taken and freed.
template <typename Get> QString take(AtspiAccessible *node, Get get) {
    Error err;
    gchar *text = node ? get(node, &err) : nullptr;
    const QString s = QString::fromUtf8(text ? text : "");
    g_free(text);
    return s;
}

bool hasState(AtspiAccessible *node, AtspiStateType state) {
    AtspiStateSet *set = node ? atspi_accessible_get_state_set(node) : nullptr;
    const bool on = set && atspi_state_set_contains(set, state);
    if (set)
        g_object_unref(set);
    return on;
}

// Calls use(interface) with one of a node's interfaces, if it has it; `none` otherwise.
template <typename Iface, typename Use, typename Result>
Result withInterface(AtspiAccessible *node, Iface *(*get)(AtspiAccessible *), Use use,
                     Result none) {
    Iface *iface = node ? get(node) : nullptr;
    if (!iface)
        return none;
    const Result result = use(iface);
    g_object_unref(iface);
    return result;
}

} // namespace

A11yNode::A11yNode(const A11yNode &other)
    : node_(other.node_ ? static_cast<AtspiAccessible *>(g_object_ref(other.node_)) : nullptr) {}
A11yNode &A11yNode::operator=(A11yNode other) {
    std::swap(node_, other.node_);
    return *this;
}
A11yNode::~A11yNode() {
    if (node_)
        g_object_unref(node_);
}

QString A11yNode::name() const {
    return take(node_, atspi_accessible_get_name);
}
QString A11yNode::description() const {
    return take(node_, atspi_accessible_get_description);
}
QString A11yNode::role() const {
    return take(node_, atspi_accessible_get_role_name);
}
bool A11yNode::showing() const {
    return hasState(node_, ATSPI_STATE_SHOWING);
}
bool A11yNode::checked() const {
    return hasState(node_, ATSPI_STATE_CHECKED);
}
bool A11yNode::isDefault() const {
    return hasState(node_, ATSPI_STATE_IS_DEFAULT);
}

QString A11yNode::text() const {
    return withInterface(
        node_, atspi_accessible_get_text_iface,
        [](AtspiText *text) {
            Error err;
            const int count = atspi_text_get_character_count(text, &err);
            gchar *s = err ? nullptr : atspi_text_get_text(text, 0, count, &err);
            const QString out = QString::fromUtf8(s ? s : "");
            g_free(s);
            return out;
        },
        name());
}

QString A11yNode::labelledBy() const {
    Error err;
    GArray *relations = node_ ? atspi_accessible_get_relation_set(node_, &err) : nullptr;
    QString label;
    for (guint i = 0; relations && i < relations->len; ++i) {
        AtspiRelation *r = g_array_index(relations, AtspiRelation *, i);
        if (atspi_relation_get_relation_type(r) == ATSPI_RELATION_LABELLED_BY &&
            atspi_relation_get_n_targets(r) > 0 && label.isEmpty())
            label = A11yNode(atspi_relation_get_target(r, 0)).name();
        g_object_unref(r);
    }
    if (relations)
        g_array_free(relations, TRUE);
    return label;
}

std::vector<A11yNode> A11yNode::findAll(const std::function<bool(const A11yNode &)> &match) const {
    std::vector<A11yNode> found;
    std::function<void(const A11yNode &, int)> walk = [&](const A11yNode &n, int depth) {
        if (!n.valid() || depth > 30)
            return;
        if (match(n))
            found.push_back(n);
        Error err;
        const int count = atspi_accessible_get_child_count(n.node_, &err);
        for (int i = 0; i < count; ++i) {
            Error childErr;
            walk(A11yNode(atspi_accessible_get_child_at_index(n.node_, i, &childErr)), depth + 1);
        }
    };
    walk(*this, 0);
    return found;
}

A11yNode A11yNode::find(const QString &role, const QString &name) const {
    const auto found = findAll(
        [&](const A11yNode &n) { return n.role() == role && n.name() == name && n.showing(); });
    return found.empty() ? A11yNode() : found.front();
}

void A11yNode::askEveryTime() const {
    if (node_)
        atspi_accessible_set_cache_mask(node_, ATSPI_CACHE_NONE);
}

bool A11yNode::press() const {
    return withInterface(
        node_, atspi_accessible_get_action_iface,
        [](AtspiAction *action) {
            Error err;
            return atspi_action_do_action(action, 0, &err) && !err;
        },
        false);
}

bool A11yNode::click() const {
    return withInterface(
        node_, atspi_accessible_get_component_iface,
        [](AtspiComponent *component) {
            Error err;
            AtspiRect *r = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &err);
            const bool clicked = r && atspi_generate_mouse_event(r->x + r->width / 2,
                                                                 r->y + r->height / 2, "b1c", &err);
            g_free(r);
            return clicked && !err;
        },
        false);
}

double A11yNode::value() const {
    return withInterface(
        node_, atspi_accessible_get_value_iface,
        [](AtspiValue *v) {
            Error err;
            return atspi_value_get_current_value(v, &err);
        },
        -1.0);
}

bool A11yNode::setValue(double value) const {
    return withInterface(
        node_, atspi_accessible_get_value_iface,
        [value](AtspiValue *v) {
            Error err;
            return atspi_value_set_current_value(v, value, &err) && !err;
        },
        false);
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
    QProcess ask, xprop;
    ask.start("dbus-send", {"--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.a11y.Bus.GetAddress"});
    const QByteArray a11yAddress = ask.waitForFinished(10000) && ask.exitCode() == 0
                                       ? ask.readAllStandardOutput().trimmed()
                                       : QByteArray();
    if (a11yAddress.isEmpty())
        return false;
    xprop.start("xprop", {"-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS",
                          QString::fromUtf8(a11yAddress)});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0)
        return false;
    qputenv("AT_SPI_BUS_ADDRESS", a11yAddress);
    atspi_init();
    qunsetenv("AT_SPI_BUS_ADDRESS"); // Qt's bridge does not take it; it reads the window
    return true;
}

A11yNode application(const QString &name, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (; timer.elapsed() < timeoutMs; QTest::qWait(100)) {
        AtspiAccessible *desktop = atspi_get_desktop(0);
        Error err;
        const int count = atspi_accessible_get_child_count(desktop, &err);
        A11yNode found;
        for (int i = 0; i < count && !found.valid(); ++i) {
            Error childErr;
            A11yNode app(atspi_accessible_get_child_at_index(desktop, i, &childErr));
            if (app.name() == name)
                found = app;
        }
        g_object_unref(desktop);
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
        if (A11yNode n = root.find(role, name); n.valid() || timer.elapsed() >= timeoutMs)
            return n;
    }
}

bool typeKey(unsigned long keysym) {
    Error err;
    return atspi_generate_keyboard_event(long(keysym), nullptr, ATSPI_KEY_SYM, &err) && !err;
}

} // namespace a11y
