// The first-run search window as a GTK dialog. It has no main loop of its own: the search, which
// runs on the same thread, lets it handle its events each time it reports a folder.

#include <gtk/gtk.h>

#include "desktop/gtk_dialogs_posix.h"

namespace carconv {

namespace {

constexpr int kLocateResponse = 1;

class GtkSearchWindow : public SearchWindow {
  public:
    explicit GtkSearchWindow(const SearchWindowText& text) {
        dialog_ = gtk_dialog_new_with_buttons(text.title.c_str(), nullptr, GTK_DIALOG_MODAL,
                                              "_Cancel", GTK_RESPONSE_CANCEL, "_Locate...",
                                              kLocateResponse, nullptr);
        gtk_window_set_resizable(GTK_WINDOW(dialog_), FALSE);
        gtk_window_set_position(GTK_WINDOW(dialog_), GTK_WIN_POS_CENTER);
        GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog_));
        gtk_container_set_border_width(GTK_CONTAINER(content), 12);
        gtk_box_set_spacing(GTK_BOX(content), 8);

        GtkWidget* message = gtk_label_new(text.message.c_str());
        gtk_label_set_line_wrap(GTK_LABEL(message), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(message), 60);
        gtk_label_set_xalign(GTK_LABEL(message), 0.0f);
        gtk_box_pack_start(GTK_BOX(content), message, FALSE, FALSE, 0);

        // The folder shortened in the middle, so that both the drive and the deepest folder
        // stay in sight, in a fixed width that does not jump with every folder.
        folder_ = gtk_label_new("");
        gtk_label_set_ellipsize(GTK_LABEL(folder_), PANGO_ELLIPSIZE_MIDDLE);
        gtk_label_set_width_chars(GTK_LABEL(folder_), 60);
        gtk_label_set_max_width_chars(GTK_LABEL(folder_), 60);
        gtk_label_set_xalign(GTK_LABEL(folder_), 0.0f);
        gtk_box_pack_start(GTK_BOX(content), folder_, FALSE, FALSE, 0);

        // Escape and the window's close button answer GTK_RESPONSE_DELETE_EVENT: Cancel.
        g_signal_connect(dialog_, "response", G_CALLBACK(OnResponse), &choice_);
        gtk_widget_show_all(dialog_);
    }

    ~GtkSearchWindow() override {
        gtk_widget_destroy(dialog_);
        FlushGtkEvents();
    }

    GtkSearchWindow(const GtkSearchWindow&) = delete;
    GtkSearchWindow& operator=(const GtkSearchWindow&) = delete;

    Choice Update(const std::string& folder) override {
        if (folder != shown_) {
            gtk_label_set_text(GTK_LABEL(folder_), folder.c_str());
            shown_ = folder;
        }
        while (gtk_events_pending())
            gtk_main_iteration();
        return choice_;
    }

  private:
    static void OnResponse(GtkDialog*, gint response, gpointer data) {
        Choice& choice = *static_cast<Choice*>(data);
        if (choice == Choice::kNone)
            choice = response == kLocateResponse ? Choice::kLocate : Choice::kCancel;
    }

    GtkWidget* dialog_;
    GtkWidget* folder_;
    std::string shown_;
    Choice choice_ = Choice::kNone;
};

}  // namespace

std::unique_ptr<SearchWindow> MakeGtkSearchWindow(const SearchWindowText& text) {
    return std::make_unique<GtkSearchWindow>(text);
}

}  // namespace carconv
