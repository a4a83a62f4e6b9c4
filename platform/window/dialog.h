#pragma once
// A modal dialog built from a DialogTemplate, in the manner of a classic
// dialog framework: controls are reached by their template ids, the dialog
// classes override the initialisation, OK and Cancel actions and a keyboard
// pre-filter, and register handlers for control notifications.
// The window exists only while DoModal runs; outside it the control
// operations do nothing and read as empty.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/dialog_template.h"
#include "platform/framework/object.h"
#include "platform/framework/windows_names.h"

class CListCtrl;

// The keys a pre-filter can tell apart; everything else is Key::other.
enum class Key { escape, pageUp, pageDown, up, down, other };

// One key-down or key-up addressed to the dialog or one of its controls.
struct KeyMessage {
  enum class Action { down, up };
  Action action;
  Key key;
  const void* native;  // the platform's event; only the platform layer reads it
};

// Control notifications a handler can be registered for.
enum class Notification {
  clicked,        // a button other than IDOK and IDCANCEL was pressed
  textChanged,    // an edit's text changed, by the user or by SetDlgItemText
  itemChanged,    // the selection of a list changed by the user or the keyboard
  doubleClicked,  // an item of a list was double-clicked
};

class CDialog : public CObject {
 public:
  // The template must outlive the dialog.
  explicit CDialog(const DialogTemplate& dialogTemplate);
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;
  ~CDialog() override;

  // Builds the window, runs OnInitDialog, and runs a modal loop until
  // EndDialog. Returns the value given to EndDialog, or -1 when no display
  // is reachable (the window is not made and nothing is called).
  int DoModal();

  // Ends the modal loop with result once the current handler returns.
  // Later calls until the loop ends are ignored.
  void EndDialog(int result);

  // Control access by id. Multi-line edits hold their line ends as CR LF:
  // a lone CR or LF given to them reads back as CR LF.
  void SetDlgItemText(int id, const std::u16string& text);
  std::u16string GetDlgItemText(int id) const;
  void EnableControl(int id, bool enable);
  bool IsControlEnabled(int id) const;
  void GotoDlgCtrl(int id);     // moves the keyboard focus to the control
  int GetFocusedControl() const;  // id of the control with the focus, or 0

  // Sets the window icon, big and small, from icon resource iconId: the
  // images :/icons/<iconId>/<size>.png embedded in the program.
  void SetIcon(int iconId);

  // Registers what runs when control id raises event.
  void OnNotify(Notification event, int id, std::function<void()> handler);

  // Runs run from the modal loop once the events already waiting (keys
  // typed meanwhile) have been handled. Dropped when the window is gone
  // first; does nothing outside DoModal.
  void PostLater(std::function<void()> run);

 protected:
  // Binds the list-view control id to list for the window's lifetime.
  // Call from DoDataExchange.
  void BindList(int id, CListCtrl& list);

  // Called by the base OnInitDialog while the window is being made.
  virtual void DoDataExchange() {}

  // Runs once the controls exist, before the window is shown. The base runs
  // DoDataExchange. True puts the focus on the first tab-stop control.
  virtual bool OnInitDialog();

  // IDOK (the default button, Enter) and IDCANCEL (the Cancel button, the
  // close box, Escape). The bases end the dialog with IDOK and IDCANCEL.
  virtual void OnOK();
  virtual void OnCancel();

  // Sees every key-down and key-up addressed to the dialog or its controls
  // before it is dispatched. True stops the message there; false lets the
  // normal dialog handling have it. Keys sent from inside the pre-filter
  // (CListCtrl::SendKey) are not pre-filtered again.
  virtual bool PreTranslateMessage(const KeyMessage& message);

 private:
  struct Window;
  friend struct Window;
  void Notify(Notification event, int id);

  const DialogTemplate& m_template;
  struct Handler {
    Notification event;
    int id;
    std::function<void()> run;
  };
  std::vector<Handler> m_handlers;
  std::vector<std::pair<int, CListCtrl*>> m_bindings;
  Window* m_window = nullptr;  // alive only inside DoModal
};
