#include "Accessibility.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atspi/atspi.h>
#include <utility>

namespace {

QString take(gchar *text) {
    const QString s = QString::fromUtf8(text ? text : "");
    g_free(text);
    return s;
}

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

} // namespace

A11yNode::A11yNode(AtspiAccessible *adopted) : node_(adopted) {}
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
    Error err;
    return node_ ? take(atspi_accessible_get_name(node_, &err)) : QString();
}

QString A11yNode::description() const {
    Error err;
    return node_ ? take(atspi_accessible_get_description(node_, &err)) : QString();
}

QString A11yNode::role() const {
    Error err;
    return node_ ? take(atspi_accessible_get_role_name(node_, &err)) : QString();
}

QString A11yNode::text() const {
    if (!node_)
        return {};
    if (AtspiText *text = atspi_accessible_get_text_iface(node_)) {
        Error err;
        const int count = atspi_text_get_character_count(text, &err);
        const QString s = err ? QString() : take(atspi_text_get_text(text, 0, count, &err));
        g_object_unref(text);
        return s;
    }
    return name();
}

QString A11yNode::labelledBy() const {
    if (!node_)
        return {};
    Error err;
    GArray *relations = atspi_accessible_get_relation_set(node_, &err);
    if (!relations)
        return {};
    QString label;
    for (guint i = 0; i < relations->len; ++i) {
        AtspiRelation *r = g_array_index(relations, AtspiRelation *, i);
        if (atspi_relation_get_relation_type(r) == ATSPI_RELATION_LABELLED_BY &&
            atspi_relation_get_n_targets(r) > 0 && label.isEmpty())
            label = A11yNode(atspi_relation_get_target(r, 0)).name();
        g_object_unref(r);
    }
    g_array_free(relations, TRUE);
    return label;
}

namespace {
bool hasState(AtspiAccessible *node, AtspiStateType state) {
    if (!node)
        return false;
    AtspiStateSet *set = atspi_accessible_get_state_set(node);
    const bool on = set && atspi_state_set_contains(set, state);
    if (set)
        g_object_unref(set);
    return on;
}
} // namespace

bool A11yNode::showing() const {
    return hasState(node_, ATSPI_STATE_SHOWING);
}
bool A11yNode::checked() const {
    return hasState(node_, ATSPI_STATE_CHECKED);
}
bool A11yNode::isDefault() const {
    return hasState(node_, ATSPI_STATE_IS_DEFAULT);
}

int A11yNode::childCount() const {
    Error err;
    return node_ ? std::max(0, atspi_accessible_get_child_count(node_, &err)) : 0;
}

A11yNode A11yNode::child(int i) const {
    Error err;
    return A11yNode(node_ ? atspi_accessible_get_child_at_index(node_, i, &err) : nullptr);
}

std::vector<A11yNode> A11yNode::findAll(const std::function<bool(const A11yNode &)> &match) const {
    std::vector<A11yNode> found;
    std::function<void(const A11yNode &, int)> walk = [&](const A11yNode &n, int depth) {
        if (!n.valid() || depth > 30)
            return;
        if (match(n))
            found.push_back(n);
        const int count = n.childCount();
        for (int i = 0; i < count; ++i)
            walk(n.child(i), depth + 1);
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

namespace {
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
            if (!r)
                return false;
            const long x = r->x + r->width / 2, y = r->y + r->height / 2;
            g_free(r);
            Error clickErr;
            return atspi_generate_mouse_event(x, y, "b1c", &clickErr) && !clickErr;
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
    static_cast<A11yEvents *>(self)->seen_.push_back({source.role(), source.name()});
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool A11yEvents::heard(const QString &role, const QString &name) const {
    return std::any_of(seen_.begin(), seen_.end(),
                       [&](const Seen &s) { return s.role == role && s.name == name; });
}

namespace a11y {

bool startSession(QProcess &bus) {
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForStarted())
        return false;
    QElapsedTimer timer;
    timer.start();
    while (!bus.canReadLine() && timer.elapsed() < 10000)
        bus.waitForReadyRead(100);
    const QByteArray address = bus.readLine().trimmed();
    if (address.isEmpty())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    // The accessibility bus is started on demand by the session bus.
    QProcess ask;
    ask.start("dbus-send", {"--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.a11y.Bus.GetAddress"});
    if (!ask.waitForFinished(10000) || ask.exitCode() != 0)
        return false;
    const QByteArray a11yAddress = ask.readAllStandardOutput().trimmed();
    if (a11yAddress.isEmpty())
        return false;
    // Programs find the accessibility bus on the X server's root window first.
    QProcess xprop;
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
    do {
        A11yNode desktop(atspi_get_desktop(0));
        const int count = desktop.childCount();
        for (int i = 0; i < count; ++i) {
            A11yNode app = desktop.child(i);
            if (app.name() == name) {
                app.askEveryTime();
                return app;
            }
        }
        QTest::qWait(100);
    } while (timer.elapsed() < timeoutMs);
    return {};
}

A11yNode waitFor(const A11yNode &root, const QString &role, const QString &name, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    do {
        if (A11yNode n = root.find(role, name); n.valid())
            return n;
        QTest::qWait(100);
    } while (timer.elapsed() < timeoutMs);
    return {};
}

bool typeKey(unsigned long keysym) {
    Error err;
    return atspi_generate_keyboard_event(long(keysym), nullptr, ATSPI_KEY_SYM, &err) && !err;
}

} // namespace a11y
