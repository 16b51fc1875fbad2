// The attribute tree and the table model: nodes, lookups, the child index,
// finding tables and commit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "templatelib/configfile_support.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tConfigSource.h"

namespace {

using configtest::LoadText;
using configtest::TableOf;

std::vector<std::string> RowIds(const tAttribute* contents) {
  std::vector<std::string> ids;
  for (auto it = contents->Children(); const tAttribute* row = it.Next();)
    ids.push_back(row->name.Text());
  return ids;
}

TEST(RowState, WordsOfTheStates) {
  const std::pair<int32_t, const char*> cases[] = {{0, "Unchanged"}, {1, "New"},    {2, "Edited"},
                                                   {3, "Deleted"},   {4, "Any"},    {5, "Edited"},
                                                   {-1, "Edited"},   {99, "Edited"}};
  for (auto [state, word] : cases) EXPECT_STREQ(RowStateWord(state), word) << state;
}

TEST(Attribute, ChildrenKeepOrderAndAreFoundWithoutRegardToCase) {
  tAttribute* root = tAttribute::CreateChild(nullptr, "Root", "V1", kRowUnchanged);
  tAttribute* a = tAttribute::CreateChild(root, "Table", "Colors", kRowNew);
  tAttribute* b = tAttribute::CreateChild(root, "table", "Users", kRowUnchanged);
  tAttribute* c = tAttribute::CreateChild(root, "Other", "", kRowUnchanged);
  EXPECT_EQ(a->parent, root);
  EXPECT_EQ(a->rowState, kRowNew);
  EXPECT_EQ(root->ChildCount(), 3);
  EXPECT_EQ(root->FindChild("TABLE"), a);
  EXPECT_EQ(root->FindChild("Table", "USERS"), b);
  EXPECT_EQ(root->FindChild("Other", ""), c);
  EXPECT_EQ(root->FindChild("Table", "Missing"), nullptr);
  EXPECT_EQ(root->FindChild("Missing"), nullptr);
  a->DetachFromParent();
  EXPECT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(root->FindChild("Table"), b);
  // The order numbers follow the list, also once the numbers run out.
  c->siblingOrder = UINT32_MAX;
  tAttribute* d = tAttribute::CreateChild(root, "Last", "", kRowNew);
  EXPECT_TRUE(b->siblingOrder < c->siblingOrder && c->siblingOrder < d->siblingOrder);
  delete a;
  delete root;
}

TEST(Attribute, TheChildIndexFindsByNameOrValue) {
  tAttribute* contents = tAttribute::CreateChild(nullptr, "TableContents", "", kRowUnchanged);
  contents->childIndex = new tHash();
  ASSERT_EQ(contents->childIndex->Size(64), S_OK);
  contents->indexMode = kIndexByName;
  std::vector<tAttribute*> rows;
  for (int i = 0; i < 50; ++i) {
    std::string id = "row" + std::to_string(i);
    rows.push_back(tAttribute::CreateChild(contents, id.c_str(),
                                           ("v" + std::to_string(i % 5)).c_str(), kRowUnchanged));
  }
  EXPECT_EQ(contents->childIndex->ItemCount(), 50);
  EXPECT_EQ(contents->FindChild("ROW17"), rows[17]);
  // A value that the indexed candidate does not have is still found.
  EXPECT_EQ(contents->FindChild("row17", "v2"), rows[17]);
  EXPECT_EQ(contents->FindChild("row17", "v3"), nullptr);
  // Detaching takes the row out of the index as well.
  rows[17]->DetachFromParent();
  EXPECT_EQ(contents->childIndex->ItemCount(), 49);
  EXPECT_EQ(contents->FindChild("row17"), nullptr);
  delete rows[17];
  delete contents;
  configtest::DrainHashNodePool();
}

TEST(Attribute, ReleasedSubtreesAreDestroyedByTheDeleterAndRecycledNodesReused) {
  tAttribute* root = tAttribute::CreateChild(nullptr, "Root", "V1", kRowUnchanged);
  tAttribute* subtree = tAttribute::CreateChild(root, "Table", "T", kRowUnchanged);
  for (int i = 0; i < 10; ++i) tAttribute::CreateChild(subtree, "Row", "x", kRowUnchanged);
  tAttribute::ReleaseToPool(subtree, true);  // has children: deferred, not recycled
  EXPECT_EQ(root->ChildCount(), 0);
  tAttribute* leaf = tAttribute::CreateChild(root, "Leaf", "y", kRowEdited);
  tAttribute::ReleaseToPool(leaf, true);
  EXPECT_EQ(root->ChildCount(), 0);
  tAttribute* reused = tAttribute::CreateChild(root, "Next", nullptr, kRowNew);
  EXPECT_EQ(reused->rowState, kRowNew);
  EXPECT_EQ(reused->ChildCount(), 0);
  EXPECT_STREQ(reused->previousValue.Text() ? reused->previousValue.Text() : "", "");
  AttributePool().StopDeleter();
  delete root;
}

class TableModel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(
        LoadText(source, dir,
                 "Root V1\n{\n"
                 "Table colors\n{\nTableDefinition Color|PropertyBag\nTableType Color|string\n"
                 "TableContents\n{\nc1 red|\nc2 blue|\nc3 green|\n}\n}\n"
                 "Table Users\n{\nTableDefinition User|Password\nTableType String|String\n"
                 "TableContents\n{\nu1 ann|x\nu2 bob|y\n}\n}\n"
                 "Table NoContents\n{\nTableDefinition A\nTableType String\n}\n"
                 "Table NoTypes\n{\nTableDefinition A\nTableContents\n}\n"
                 "}\n"),
        nullptr);
  }
  // The tree (and any index built on it) is destroyed on the pool's deleter
  // thread; wait for that, so no later test sees nodes coming back to the
  // pools while it counts them.
  void TearDown() override {
    source.LoadAttributesFromFile(nullptr);
    AttributePool().StopDeleter();
    configtest::DrainHashNodePool();
  }
  testsupport::TempDir dir;
  tConfigSource source;
};

TEST_F(TableModel, TablesAreFoundByNameInAnyCase) {
  tTableNodes nodes = TableOf(source, "Colors");
  ASSERT_NE(nodes.table, nullptr);
  EXPECT_STREQ(nodes.table->value.Text(), "colors");
  EXPECT_STREQ(nodes.definition->value.Text(), "Color|PropertyBag");
  EXPECT_EQ(nodes.definition->errorStateOrFieldCount, 2);
  EXPECT_STREQ(nodes.type->value.Text(), "Color|string");
  EXPECT_EQ(nodes.contents->ChildCount(), 3);
  EXPECT_EQ(source.FindTable("Missing", &nodes), E_FAIL);
  EXPECT_EQ(source.FindTable("NoTypes", &nodes), E_FAIL);
  EXPECT_EQ(source.FindTable(nullptr, &nodes), E_FAIL);
}

TEST_F(TableModel, MissingContentsAreCreatedAsNew) {
  tTableNodes nodes = TableOf(source, "NoContents");
  ASSERT_NE(nodes.contents, nullptr);
  EXPECT_EQ(nodes.contents->rowState, kRowNew);
  EXPECT_STREQ(nodes.contents->value.Text(), "");
  EXPECT_EQ(TableOf(source, "nocontents").contents, nodes.contents);
}

TEST_F(TableModel, CommitSettlesChangedTablesOnly) {
  tTableNodes colors = TableOf(source, "Colors");
  tTableNodes users = TableOf(source, "Users");
  auto rowsOf = [](const tTableNodes& t) {
    std::vector<tAttribute*> rows;
    for (auto it = t.contents->Children(); tAttribute* r = it.Next();) rows.push_back(r);
    return rows;
  };
  auto c = rowsOf(colors);
  c[0]->rowState = kRowDeleted;
  c[1]->rowState = kRowEdited;
  c[2]->rowState = kRowDeleted;
  tAttribute::CreateChild(colors.contents, "c4", "white|", kRowNew);
  colors.table->rowState = kTableChanged;
  auto u = rowsOf(users);
  u[0]->rowState = kRowDeleted;  // Users is not marked changed: left alone

  ASSERT_EQ(source.CommitAllTables(), S_OK);
  EXPECT_EQ(RowIds(colors.contents), (std::vector<std::string>{"c2", "c4"}));
  for (auto* row : rowsOf(colors)) EXPECT_EQ(row->rowState, kRowUnchanged);
  EXPECT_EQ(colors.table->rowState, kRowUnchanged);
  EXPECT_EQ(RowIds(users.contents), (std::vector<std::string>{"u1", "u2"}));
  EXPECT_EQ(u[0]->rowState, kRowDeleted);

  // Committing the one table by name settles it whatever its state.
  ASSERT_EQ(source.CommitTable("USERS"), S_OK);
  EXPECT_EQ(RowIds(users.contents), (std::vector<std::string>{"u2"}));
  EXPECT_EQ(source.CommitTable("Missing"), E_FAIL);
}

TEST_F(TableModel, CommitTakesDeletedRowsOutOfThePrimaryKeyIndex) {
  tTableNodes users = TableOf(source, "Users");
  tHash* index = new tHash();
  users.contents->childIndex = index;
  ASSERT_EQ(index->Size(1024), S_OK);
  index->KeyColumns().Assign("User,System.RowNumber");
  users.contents->indexMode = kIndexByName;
  for (auto it = users.contents->Children(); tAttribute* row = it.Next();) {
    tString user;
    ASSERT_EQ(tString::GetField(row->value.Text(), 0, '|', &user), S_OK);
    ASSERT_EQ(index->Add(user.Text(), row, true, true, nullptr), S_OK);
    ASSERT_EQ(index->Add(row->name.Text(), row, true, true, nullptr), S_OK);
  }
  ASSERT_EQ(index->ItemCount(), 4);
  tAttribute* bob = users.contents->FindChild("u2");
  bob->rowState = kRowDeleted;
  users.table->rowState = kTableChanged;
  ASSERT_EQ(source.CommitAllTables(), S_OK);
  EXPECT_EQ(index->ItemCount(), 2);
  EXPECT_EQ(index->Find("bob"), nullptr);
  EXPECT_EQ(index->Find("u2"), nullptr);
  EXPECT_NE(index->Find("ann"), nullptr);
  EXPECT_EQ(users.contents->FindChild("u1"), index->Find("u1"));
}

TEST_F(TableModel, CommitWithoutATreeFails) {
  tConfigSource empty;
  EXPECT_EQ(empty.CommitAllTables(), E_FAIL);
  EXPECT_EQ(empty.CommitTable("Colors"), E_FAIL);
}

TEST(DefaultSource, IsCreatedOnceAndDestroyedOnRequest) {
  tConfigSource* first = tConfigSource::DefaultSource();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(tConfigSource::DefaultSource(), first);
  EXPECT_EQ(first->treeChanged, 1);
  EXPECT_EQ(tConfigSource::DefaultSource(true), nullptr);
  EXPECT_NE(tConfigSource::DefaultSource(), nullptr);
  tConfigSource::DefaultSource(true);
}

}  // namespace
