#include "app/xcbwindowlister.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

CXcbWindowLister::CXcbWindowLister() {
    if (!std::getenv("DISPLAY")) return;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; i++) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    m_root = it.data->root;
    m_pConnection = c;
}

CXcbWindowLister::~CXcbWindowLister() {
    if (m_pConnection) xcb_disconnect(m_pConnection);
}

uint32_t CXcbWindowLister::Atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(m_pConnection, xcb_intern_atom(m_pConnection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const uint32_t atom = r ? r->atom : 0;
    free(r);
    return atom;
}

std::vector<uint32_t> CXcbWindowLister::WindowListProperty(uint32_t window, uint32_t property) {
    std::vector<uint32_t> out;
    if (!property) return out;
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        m_pConnection, xcb_get_property(m_pConnection, 0, window, property, XCB_ATOM_ANY, 0, 65536), nullptr);
    if (r && r->format == 32) {
        const int n = xcb_get_property_value_length(r) / 4;
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
        out.assign(v, v + n);
    }
    free(r);
    return out;
}

QString CXcbWindowLister::Title(uint32_t window) {
    auto read = [&](uint32_t property) -> QString {
        if (!property) return QString();
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            m_pConnection, xcb_get_property(m_pConnection, 0, window, property, XCB_ATOM_ANY, 0, 1024), nullptr);
        QString s;
        if (r && r->format == 8)
            s = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        free(r);
        return s;
    };
    QString title = read(Atom("_NET_WM_NAME"));
    if (title.isEmpty()) title = read(XCB_ATOM_WM_NAME);
    return title;
}

bool CXcbWindowLister::IsHidden(uint32_t window) {
    const uint32_t hidden = Atom("_NET_WM_STATE_HIDDEN");
    const std::vector<uint32_t> state = WindowListProperty(window, Atom("_NET_WM_STATE"));
    return hidden && std::find(state.begin(), state.end(), hidden) != state.end();
}

std::vector<ListedWindow> CXcbWindowLister::Enumerate() {
    std::vector<ListedWindow> out;
    if (!m_pConnection) return out;
    std::vector<uint32_t> windows = WindowListProperty(m_root, Atom("_NET_CLIENT_LIST_STACKING"));
    const bool managed = !windows.empty();
    if (!managed) {
        // No window manager: the root's children, bottom to top.
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_pConnection, xcb_query_tree(m_pConnection, m_root), nullptr);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            windows.assign(children, children + xcb_query_tree_children_length(tree));
            free(tree);
        }
    }
    std::reverse(windows.begin(), windows.end());  // top first
    for (uint32_t w : windows) {
        ListedWindow lw;
        lw.handle = w;
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(m_pConnection, xcb_get_window_attributes(m_pConnection, w), nullptr);
        if (!a) continue;  // gone meanwhile
        lw.visible = managed ? true : a->map_state == XCB_MAP_STATE_VIEWABLE;
        if (managed) lw.minimised = IsHidden(w) || a->map_state != XCB_MAP_STATE_VIEWABLE;
        free(a);
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_pConnection, xcb_get_geometry(m_pConnection, w), nullptr);
        if (!g) continue;
        lw.client = QSize(g->width, g->height);
        free(g);
        lw.title = Title(w);
        out.push_back(lw);
    }
    return out;
}

QRect CXcbWindowLister::WindowRect(WindowHandle window) {
    if (!m_pConnection) return QRect();
    const auto w = static_cast<xcb_window_t>(window);
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_pConnection, xcb_get_geometry(m_pConnection, w), nullptr);
    if (!g) return QRect();
    const QSize size(g->width, g->height);
    free(g);
    if (w == m_root) return QRect(QPoint(0, 0), size);
    xcb_translate_coordinates_reply_t* t =
        xcb_translate_coordinates_reply(m_pConnection, xcb_translate_coordinates(m_pConnection, w, m_root, 0, 0), nullptr);
    if (!t) return QRect();
    const QRect r(QPoint(t->dst_x, t->dst_y), size);
    free(t);
    return r;
}

void CXcbWindowLister::SetTopmost(WindowHandle window, bool topmost) {
    if (!m_pConnection || window == m_root) return;
    const auto w = static_cast<xcb_window_t>(window);
    const uint32_t state = Atom("_NET_WM_STATE"), above = Atom("_NET_WM_STATE_ABOVE");
    if (state && above) {
        // Asks the window manager (if any) to keep the window above the others, or not.
        xcb_client_message_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = state;
        e.data.data32[0] = topmost ? 1 : 0;
        e.data.data32[1] = above;
        e.data.data32[3] = 1;
        xcb_send_event(m_pConnection, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&e));
    }
    if (topmost) {
        const uint32_t mode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_pConnection, w, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    }
    xcb_flush(m_pConnection);
}

QImage CXcbWindowLister::GrabScreen(const QRect& area) {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return QImage();
    return s->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}
