// SPDX-License-Identifier: MIT
#include "gtk_ui.h"

#include <gtk/gtk.h>

#include <chrono>
#include <string>
#include <string_view>

namespace post {

namespace {

// GTK takes UTF-8 only; the error number's four bytes come from the log and
// an exception's text from the system, so either may not be valid.
std::string valid_utf8(const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result = valid;
    g_free(valid);
    return result;
}

// Lets GTK map and paint WINDOW before the send blocks the main loop; gives
// up after half a second so that a slow display never delays the report.
void paint_now(GtkWidget* window) {
    bool drawn = false;
    const gulong handler = g_signal_connect_after(
        window, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return FALSE;
        }),
        &drawn);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until && !(drawn && !gtk_events_pending())) {
        if (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        else
            g_usleep(5'000);
    }
    g_signal_handler_disconnect(window, handler);
    gdk_display_flush(gdk_display_get_default());
}

// The "Show report" part of the consent question: exactly what would be
// sent, read-only. The text goes into the view only when the expander is
// first opened, so that a large log does not delay the question.
void add_report_expander(GtkWidget* dialog, const report_preview& report) {
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(view), TRUE);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled), 240);
    gtk_scrolled_window_set_min_content_width(GTK_SCROLLED_WINDOW(scrolled), 480);
    gtk_container_add(GTK_CONTAINER(scrolled), view);

    GtkWidget* expander = gtk_expander_new_with_mnemonic("_Show report");
    gtk_expander_set_resize_toplevel(GTK_EXPANDER(expander), TRUE);
    gtk_container_add(GTK_CONTAINER(expander), scrolled);
    g_object_set_data(G_OBJECT(expander), "report", const_cast<report_preview*>(&report));
    g_object_set_data(G_OBJECT(expander), "view", view);
    g_signal_connect(expander, "notify::expanded", G_CALLBACK(+[](GObject* expander, GParamSpec*, gpointer) {
                         auto* shown = static_cast<report_preview*>(g_object_get_data(expander, "report"));
                         if (!shown) return;
                         g_object_set_data(expander, "report", nullptr);  // filled once
                         std::string text = valid_utf8("To: " + shown->recipient + "\nSubject: " +
                                                       shown->subject + "\n\n" + std::string(shown->log_utf8));
                         // A text view holds at most G_MAXINT bytes; say so rather than cut silently.
                         constexpr std::string_view cut = "\n[The preview ends here; the whole log is sent.]";
                         if (text.size() > static_cast<std::size_t>(G_MAXINT)) {
                             std::size_t end = G_MAXINT - cut.size();
                             while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
                             text.resize(end);
                             text += cut;
                         }
                         auto* view = GTK_TEXT_VIEW(g_object_get_data(expander, "view"));
                         gtk_text_buffer_set_text(gtk_text_view_get_buffer(view), text.data(),
                                                  static_cast<gint>(text.size()));
                     }),
                     nullptr);
    gtk_box_pack_end(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))), expander, TRUE,
                     TRUE, 0);
    gtk_widget_show_all(expander);
}

class gtk_ui : public ui {
public:
    ~gtk_ui() override { close_progress(); }

    answer show(const box& message) override {
        close_progress();
        const std::string text = valid_utf8(message.text);
        GtkWidget* dialog = gtk_message_dialog_new(
            nullptr, GTK_DIALOG_MODAL, message.icon == icon::information ? GTK_MESSAGE_INFO : GTK_MESSAGE_OTHER,
            message.buttons == buttons::yes_no ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", text.c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), valid_utf8(message.caption).c_str());
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
        // Yes is the default button of a Yes/No question, as on the
        // platform this program comes from: Enter answers Yes.
        if (message.buttons == buttons::yes_no) gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
        if (message.report) add_report_expander(dialog, *message.report);
        if (message.offers_save) {
            // Beside OK, which stays the default: keeping the report is a choice.
            gtk_dialog_add_button(GTK_DIALOG(dialog), "_Save Report\u2026", save_response);
            gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
        }

        const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
        settle();
        if (response == save_response) return answer::save;
        if (message.buttons == buttons::ok) return answer::ok;
        // Closing the window, like Escape, is no consent.
        return response == GTK_RESPONSE_YES ? answer::yes : answer::no;
    }

    void sending(const std::string& host) override {
        close_progress();
        progress = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(progress), "Sending error report");
        gtk_window_set_position(GTK_WINDOW(progress), GTK_WIN_POS_CENTER);
        gtk_window_set_resizable(GTK_WINDOW(progress), FALSE);
        gtk_window_set_deletable(GTK_WINDOW(progress), FALSE);
        gtk_window_set_keep_above(GTK_WINDOW(progress), TRUE);

        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        gtk_container_set_border_width(GTK_CONTAINER(row), 18);
        GtkWidget* spinner = gtk_spinner_new();
        gtk_spinner_start(GTK_SPINNER(spinner));
        gtk_box_pack_start(GTK_BOX(row), spinner, FALSE, FALSE, 0);
        const std::string text = valid_utf8("Sending the error report to " + host + "...");
        gtk_box_pack_start(GTK_BOX(row), gtk_label_new(text.c_str()), FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(progress), row);
        gtk_widget_show_all(progress);
        paint_now(progress);
    }

    std::string save_path(const std::string& suggested) override {
        GtkWidget* chooser = gtk_file_chooser_dialog_new("Save Report", nullptr, GTK_FILE_CHOOSER_ACTION_SAVE,
                                                         "_Cancel", GTK_RESPONSE_CANCEL, "_Save",
                                                         GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
        gtk_file_chooser_set_do_overwrite_confirmation(files, TRUE);
        gchar* folder = g_path_get_dirname(suggested.c_str());
        gchar* name = g_path_get_basename(suggested.c_str());
        gtk_file_chooser_set_current_folder(files, folder);
        gtk_file_chooser_set_current_name(files, name);
        g_free(folder);
        g_free(name);
        GtkFileFilter* mail = gtk_file_filter_new();
        gtk_file_filter_set_name(mail, "E-mail messages (*.eml)");
        gtk_file_filter_add_pattern(mail, "*.eml");
        gtk_file_chooser_add_filter(files, mail);
        gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
        gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(GTK_WINDOW(chooser), TRUE);
        // The chooser sizes itself from remembered settings once shown;
        // small enough for any screen, its buttons stay in sight.
        gtk_widget_show_all(chooser);
        gtk_window_resize(GTK_WINDOW(chooser), 720, 480);

        std::string path;
        if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
            gchar* chosen = gtk_file_chooser_get_filename(files);
            if (chosen) path = chosen;
            g_free(chosen);
        }
        gtk_widget_destroy(chooser);
        settle();
        return path;
    }

private:
    static constexpr gint save_response = 1;

    static void settle() {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    }

    void close_progress() {
        if (!progress) return;
        gtk_widget_destroy(progress);
        progress = nullptr;
        settle();
    }

    GtkWidget* progress = nullptr;
};

}  // namespace

std::unique_ptr<ui> start_gtk_ui() {
    if (!gtk_init_check(nullptr, nullptr)) return nullptr;
    return std::make_unique<gtk_ui>();
}

}  // namespace post
