// The window "V4 CAR File written" as a GTK dialog: the picture of the car, the path and the
// warnings, "Open Folder" and "Close". It runs its own loop until closed.

#include <gtk/gtk.h>

#include <filesystem>
#include <string>

#include "desktop/gtk_dialogs_posix.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

constexpr int kOpenFolderResponse = 1;

// The folder that holds `path`, as a file: URI for the desktop's file manager.
std::string FolderUri(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty())
        folder = CurrentDirectory();
    GFile* file = g_file_new_for_path(folder.c_str());
    char* uri = g_file_get_uri(file);
    std::string result = uri != nullptr ? uri : "";
    g_free(uri);
    g_object_unref(file);
    return result;
}

// Shows `message` over `parent` when the file manager could not be started.
void ShowOpenFailure(GtkWindow* parent, const char* message) {
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                            GTK_BUTTONS_OK, "The folder could not be opened: %s",
                                            message);
    gtk_window_set_title(GTK_WINDOW(box), "carconv");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

}  // namespace

void ShowGtkWrittenWindow(const WrittenReport& report) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(kWrittenWindowTitle, nullptr, GTK_DIALOG_MODAL,
                                                    "Open _Folder", kOpenFolderResponse, "_Close",
                                                    GTK_RESPONSE_CLOSE, nullptr);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 12);
    gtk_box_set_spacing(GTK_BOX(content), 8);

    if (HasPicture(report)) {
        // The pixbuf borrows the pixels, which outlive the dialog.
        GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(
            report.pictureRgba.data(), GDK_COLORSPACE_RGB, TRUE, 8, report.pictureWidth,
            report.pictureHeight, report.pictureWidth * 4, nullptr, nullptr);
        GtkWidget* picture = gtk_image_new_from_pixbuf(pixbuf);
        g_object_unref(pixbuf);
        gtk_box_pack_start(GTK_BOX(content), picture, FALSE, FALSE, 0);
    }
    GtkWidget* text = gtk_label_new(WrittenReportText(report).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 70);
    gtk_label_set_selectable(GTK_LABEL(text), TRUE);
    gtk_label_set_xalign(GTK_LABEL(text), 0.0f);
    gtk_box_pack_start(GTK_BOX(content), text, FALSE, FALSE, 0);
    gtk_widget_show_all(dialog);

    // "Open Folder" leaves the window open; Close, Escape and the close button end it.
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == kOpenFolderResponse) {
        GError* error = nullptr;
        if (!gtk_show_uri_on_window(GTK_WINDOW(dialog), FolderUri(report.outputPath).c_str(),
                                    GDK_CURRENT_TIME, &error)) {
            ShowOpenFailure(GTK_WINDOW(dialog), error != nullptr ? error->message : "unknown");
            g_clear_error(&error);
        }
    }
    gtk_widget_destroy(dialog);
    FlushGtkEvents();
}

}  // namespace carconv
