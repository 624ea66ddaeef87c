#include "AtSpiSelection.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#if defined(Q_OS_LINUX) && defined(QUILLBOX_HAS_DBUS)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#define QUILLBOX_ATSPI_SELECTION 1
#endif

namespace quillbox {

#ifdef QUILLBOX_ATSPI_SELECTION

namespace {

const char AccessiblePath[] = "/org/a11y/atspi/accessible";
const char SelectionInterface[] = "org.a11y.atspi.Selection";

QString S(const char* text) {
    return QString::fromLatin1(text);
}

// An object on the bus: (bus name, path), as AT-SPI passes references.
struct ObjectReference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ObjectReference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ObjectReference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace
} // namespace quillbox

Q_DECLARE_METATYPE(quillbox::ObjectReference)

namespace quillbox {
namespace {

// The bridge's paths: the root is the application, every other object is its unique id.
QAccessibleInterface* InterfaceAt(const QString& path) {
    const QString id = path.section(QLatin1Char('/'), -1);
    if (id == QLatin1String("root"))
        return QAccessible::queryAccessibleInterface(QCoreApplication::instance());
    bool ok = false;
    const QAccessible::Id unique = id.toUInt(&ok);
    return ok ? QAccessible::accessibleInterface(unique) : nullptr;
}

QString PathOf(QAccessibleInterface* node) {
    if (!node)
        return S("/org/a11y/atspi/null");
    return S(AccessiblePath) + QLatin1Char('/') + QString::number(QAccessible::uniqueId(node));
}

// The row of `child` of the table `table`, -1 when it is no cell.
int RowOfChild(QAccessibleInterface* table, int child) {
    QAccessibleInterface* cell = table->child(child);
    QAccessibleTableCellInterface* cellInterface = cell ? cell->tableCellInterface() : nullptr;
    return cellInterface ? cellInterface->rowIndex() : -1;
}

class SelectionOverBridge : public QDBusVirtualObject {
public:
    SelectionOverBridge(QDBusVirtualObject* bridge, QObject* parent)
        : QDBusVirtualObject(parent), bridge_(bridge) {}

    QString introspect(const QString& path) const override {
        return bridge_ ? bridge_->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QAccessibleInterface* node = InterfaceAt(message.path());
        QAccessibleTableInterface* table = node && node->isValid() ? node->tableInterface() : nullptr;
        if (table) {
            if (message.interface() == QLatin1String(SelectionInterface))
                return Select(node, table, message, connection);
            if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
                message.arguments().value(0).toString() == QLatin1String(SelectionInterface))
                return Property(table, message, connection);
            if (message.interface() == QLatin1String("org.a11y.atspi.Accessible") &&
                message.member() == QLatin1String("GetInterfaces")) {
                connection.send(message.createReply(QVariant(Interfaces(node))));
                return true;
            }
        }
        return bridge_ && bridge_->handleMessage(message, connection);
    }

private:
    // What the bridge says the object offers, with Selection.
    static QStringList Interfaces(QAccessibleInterface* node) {
        QStringList names{S("org.a11y.atspi.Accessible")};
        if (!node->rect().isEmpty() || (node->object() && node->object()->isWidgetType()))
            names << S("org.a11y.atspi.Component");
        if (node->actionInterface() || node->valueInterface())
            names << S("org.a11y.atspi.Action");
        if (node->textInterface())
            names << S("org.a11y.atspi.Text");
        if (node->editableTextInterface())
            names << S("org.a11y.atspi.EditableText");
        if (node->valueInterface())
            names << S("org.a11y.atspi.Value");
        names << S("org.a11y.atspi.Table") << S(SelectionInterface);
        return names;
    }

    static bool Property(QAccessibleTableInterface* table, const QDBusMessage& message,
                         const QDBusConnection& connection) {
        const int selected = table->selectedCellCount();
        if (message.member() == QLatin1String("Get") &&
            message.arguments().value(1).toString() == QLatin1String("NSelectedChildren")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(selected))));
            return true;
        }
        if (message.member() == QLatin1String("GetAll")) {
            QVariantMap all;
            all.insert(S("NSelectedChildren"), selected);
            connection.send(message.createReply(all));
            return true;
        }
        connection.send(message.createErrorReply(QDBusError::UnknownProperty, message.member()));
        return true;
    }

    static bool Select(QAccessibleInterface* node, QAccessibleTableInterface* table,
                       const QDBusMessage& message, const QDBusConnection& connection) {
        const QString member = message.member();
        const int argument = message.arguments().value(0).toInt();
        QVariant reply;
        if (member == QLatin1String("GetSelectedChild")) {
            const QList<QAccessibleInterface*> cells = table->selectedCells();
            ObjectReference reference{connection.baseService(),
                                      QDBusObjectPath(PathOf(cells.value(argument)))};
            reply = QVariant::fromValue(reference);
        } else if (member == QLatin1String("SelectChild")) {
            const int row = RowOfChild(node, argument);
            reply = row >= 0 && table->selectRow(row);
        } else if (member == QLatin1String("DeselectChild")) {
            const int row = RowOfChild(node, argument);
            reply = row >= 0 && table->unselectRow(row);
        } else if (member == QLatin1String("IsChildSelected")) {
            const int row = RowOfChild(node, argument);
            reply = row >= 0 && table->isRowSelected(row);
        } else if (member == QLatin1String("DeselectSelectedChild")) {
            QAccessibleInterface* cell = table->selectedCells().value(argument);
            QAccessibleTableCellInterface* cellInterface = cell ? cell->tableCellInterface() : nullptr;
            reply = cellInterface && table->unselectRow(cellInterface->rowIndex());
        } else if (member == QLatin1String("SelectAll")) {
            bool all = true;
            for (int row = 0; row < table->rowCount(); ++row)
                all = table->selectRow(row) && all;
            reply = all;
        } else if (member == QLatin1String("ClearSelection")) {
            bool cleared = true;
            for (QAccessibleInterface* cell : table->selectedCells()) {
                if (QAccessibleTableCellInterface* cellInterface = cell->tableCellInterface())
                    cleared = table->unselectRow(cellInterface->rowIndex()) && cleared;
            }
            reply = cleared;
        } else {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
            return true;
        }
        connection.send(message.createReply(reply));
        return true;
    }

    QPointer<QDBusVirtualObject> bridge_;
};

// Wraps the bridge's object tree once it is on the bus; true when it is wrapped (now or before).
bool Wrap() {
    QDBusConnection bus(S("a11y"));
    if (!bus.isConnected())
        return false;
    const QString path = S(AccessiblePath);
    QObject* registered = bus.objectRegisteredAt(path);
    if (dynamic_cast<SelectionOverBridge*>(registered))
        return true;
    auto* bridge = qobject_cast<QDBusVirtualObject*>(registered);
    if (!bridge)
        return false;
    qDBusRegisterMetaType<ObjectReference>();
    auto* wrapper = new SelectionOverBridge(bridge, QCoreApplication::instance());
    bus.unregisterObject(path);
    if (bus.registerVirtualObject(path, wrapper, QDBusConnection::SubPath))
        return true;
    // Whatever happened, the bridge keeps answering.
    delete wrapper;
    bus.registerVirtualObject(path, bridge, QDBusConnection::SubPath);
    return false;
}

// The bridge goes on the bus a moment after accessibility becomes active: look a few times.
void WrapSoon(int tries) {
    if (Wrap() || tries <= 0)
        return;
    QTimer::singleShot(200, QCoreApplication::instance(), [tries] { WrapSoon(tries - 1); });
}

// The bridge goes on the bus right after it tells that accessibility is active.
class Activation : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override {
        if (active)
            QTimer::singleShot(0, QCoreApplication::instance(), [] { WrapSoon(25); });
    }
};

} // namespace

void OfferAtSpiSelection() {
    static Activation* observer = nullptr;
    if (!observer) {
        observer = new Activation;
        QAccessible::installActivationObserver(observer);
    }
    if (QAccessible::isActive())
        WrapSoon(25);
}

#else

void OfferAtSpiSelection() {}

#endif

} // namespace quillbox
