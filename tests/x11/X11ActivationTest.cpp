#include "DesktopTestSupport.h"

#include "platform/x11/X11Activation.h"
#include "platform/x11/X11Connection.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include "platform/x11/XlibHeaders.h"

// The desktop's startup id goes on the window that takes the focus, and its startup sequence is
// ended with a "remove:" message in 20-byte pieces to the root, quoted as the protocol quotes.
TEST(X11ActivationTest, theStartupIdNamesTheWindowAndItsSequenceIsEnded)
{
    auto listener = X11Connection::open();
    auto activation = X11Activation::open();
    ASSERT_TRUE(listener && activation);
    Display* dpy = listener->display();
    XSelectInput(dpy, listener->root(), PropertyChangeMask);
    XSetWindowAttributes attributes{};
    attributes.event_mask = StructureNotifyMask;
    const Window window = XCreateWindow(dpy, listener->root(), 10, 10, 80, 40, 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWEventMask, &attributes);
    XMapWindow(dpy, window);
    XEvent event;
    ASSERT_TRUE(listener->waitForEvent(window, MapNotify, [](const XEvent&) { return true; }, event, QDeadlineTimer(10000)));

    QByteArray message;
    listener->addHandler([&](XEvent& e) {
        if (e.type != ClientMessage) return;
        const Atom type = e.xclient.message_type;
        if (type == listener->atom("_NET_STARTUP_INFO_BEGIN")) message.clear();
        else if (type != listener->atom("_NET_STARTUP_INFO")) return;
        const QByteArray piece(e.xclient.data.b, 20);
        const qsizetype end = piece.indexOf('\0');
        message += end < 0 ? piece : piece.left(end + 1);
    });
    const QByteArray id = "sorelwick-test/\"quoted\"\\_TIME42";
    ASSERT_TRUE(activation->request(window, id));
    EXPECT_TRUE(DesktopTest::waitUntil([&] { return message.endsWith('\0'); }, std::chrono::seconds(10)));
    EXPECT_EQ(message, QByteArray("remove: ID=\"sorelwick-test/\\\"quoted\\\"\\\\_TIME42\"") + '\0');

    EXPECT_EQ(DesktopTest::windowProperty(window, "_NET_STARTUP_ID"), id);
    XDestroyWindow(dpy, window);
    XFlush(dpy);
}
