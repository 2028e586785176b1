#include <gtest/gtest.h>

#include <QListWidget>
#include <string>
#include <vector>

#include "qt/QtControlHost.h"
#include "ui/Ctl.h"

namespace m470::qt {
namespace {

TEST(ListRows, ARightClickOnARowChoosesItAndAsksForItsMenu) {
    QtControlHost host;
    QWidget root;
    root.setObjectName("rows_root");
    auto* list = new QListWidget(&root);
    list->setObjectName("macro_action_list");
    host.Adopt(&root);
    std::vector<std::string> seen;
    host.SetNotifyCallback([&seen](const ui::Notification& n) { seen.push_back(n.event + " " + std::to_string(n.wParam)); });
    ui::Ctl rows(host.Find("macro_action_list"));
    for (const char* text : {"one", "two", "three"}) rows.AddItem(text);
    root.resize(200, 200);
    root.show();
    const QPoint onSecond = list->visualItemRect(list->item(1)).center();
    emit list->customContextMenuRequested(onSecond);
    emit list->customContextMenuRequested(QPoint(100, 190));  // below the rows: no menu
    EXPECT_EQ(seen, (std::vector<std::string>{"itemselect 1", "menu 1"}));
    EXPECT_EQ(rows.SelectedItem(), 1);
}

}  // namespace
}  // namespace m470::qt
