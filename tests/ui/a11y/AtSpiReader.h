#pragma once
// Reads a program's accessibility tree the way a screen reader does: over the AT-SPI
// accessibility bus, found through the org.a11y.Bus service of a session bus, with the
// registry's list of applications, the objects' names, roles, states and relations, and the
// focus changes the applications announce (object:state-changed:focused, which screen readers
// speak). Qt D-Bus calls, each answered within a few seconds; UI thread of the test.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zav::test {

struct AtSpiObject {
  QString service;  // the application's name on the accessibility bus
  QString path;
  bool operator==(const AtSpiObject&) const = default;
};

// AT-SPI's numbers for what the tests look at.
enum AtSpiState : unsigned { kStateChecked = 4, kStateFocused = 12, kStateSelected = 23, kStateShowing = 25 };
enum AtSpiRelation : unsigned { kRelationLabelledBy = 2 };

struct AtSpiNode {
  AtSpiObject object;
  QString role;  // AT-SPI's role name: "push button", "list item", "slider", ...
  QString name;
  int depth = 0;
};

class AtSpiReader : public QObject {
  Q_OBJECT

 public:
  // Waits (up to timeoutMs) for the accessibility bus of the session bus at sessionBusAddress,
  // connects to it and asks for the focus changes. ok() tells whether that worked.
  AtSpiReader(const QString& sessionBusAddress, int timeoutMs);
  ~AtSpiReader() override;

  bool ok() const { return ok_; }
  const QString& error() const { return error_; }

  // The application called name (its root object), once the registry lists it.
  std::optional<AtSpiObject> Application(const QString& name, int timeoutMs);

  QString Name(const AtSpiObject& object);
  QString Description(const AtSpiObject& object);
  QString Role(const AtSpiObject& object);
  std::vector<AtSpiObject> Children(const AtSpiObject& object);
  // The object's parent as the object itself reports it (screen readers walk up this way to say
  // where the focus is); empty when it has none.
  AtSpiObject Parent(const AtSpiObject& object);
  bool HasState(const AtSpiObject& object, AtSpiState state);
  std::vector<AtSpiObject> Related(const AtSpiObject& object, AtSpiRelation relation);
  // The key bindings of the object's actions (such as a button's shortcut).
  QStringList KeyBindings(const AtSpiObject& object);

  // Every object under root (root included), depth first, with role and name.
  std::vector<AtSpiNode> Tree(const AtSpiObject& root);
  // The first object of the tree under root with this role and name.
  std::optional<AtSpiObject> Find(const AtSpiObject& root, const QString& role, const QString& name);

  // The object that last announced it got the focus; empty before any.
  const AtSpiObject& Focused() const { return focused_; }
  // "role name" of the focused object, for messages.
  QString FocusedText();

 private slots:
  void OnStateChanged(const QDBusMessage& message);

 private:
  QDBusMessage Call(const AtSpiObject& object, const QString& interface, const QString& method,
                    const QVariantList& arguments = {});
  QVariant Property(const AtSpiObject& object, const QString& interface, const QString& name);

  QString sessionName_;
  QString busName_;
  bool ok_ = false;
  QString error_;
  AtSpiObject focused_;
};

}  // namespace zav::test
