// The address book: numbers in order of first appearance, the same for every thread, and every
// address given back byte for byte.
#include "scan/address_book.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// The addresses, one after another in a list.
text_list list_of(const std::vector<std::string>& addresses) {
  text_list list;
  for (const std::string& a : addresses) {
    list.text += a;
    list.ends.push_back(list.text.size());
  }
  return list;
}

// n distinct addresses of 1 to 44 bytes, enough to grow the index and fill several chunks.
std::vector<std::string> distinct(std::size_t n) {
  std::vector<std::string> all;
  for (std::size_t i = 0; i < n; ++i) all.push_back(std::string(i % 40, 'x') + std::to_string(i));
  return all;
}

TEST(AddressBook, NumbersByFirstAppearanceAndComparesEveryByte) {
  const std::vector<std::string> addresses = {"9:99/1042",
                                              "",
                                              "9:99/1042 ",
                                              "9:99/1042",
                                              "9:99/104",
                                              "9:99/1042@testnet X",
                                              "9:99/1042@testnet x",
                                              std::string(254, 'a'),
                                              "",
                                              std::string(254, 'a')};
  address_book book;
  std::vector<std::uint32_t> ids;
  book.number(list_of(addresses), ids);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2, 0, 3, 4, 5, 6, 1, 6}));
  for (std::size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(book.address(ids[i]), addresses[i]);
}

TEST(AddressBook, ThreadsAgreeOnEveryNumber) {
  const std::vector<std::string> addresses = distinct(20000);
  std::vector<std::string> backwards(addresses.rbegin(), addresses.rend());
  address_book book;
  std::vector<std::vector<std::uint32_t>> ids(4);
  {
    std::vector<std::jthread> threads;
    for (std::size_t t = 0; t < ids.size(); ++t)
      threads.emplace_back([&, t] { book.number(list_of(t % 2 == 0 ? addresses : backwards), ids[t]); });
  }
  std::vector<bool> given(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::uint32_t id = ids[0][i];
    ASSERT_LT(id, addresses.size());
    EXPECT_FALSE(given[id]);
    given[id] = true;
    EXPECT_EQ(book.address(id), addresses[i]);
    EXPECT_EQ(ids[1][addresses.size() - 1 - i], id);
    EXPECT_EQ(ids[2][i], id);
    EXPECT_EQ(ids[3][addresses.size() - 1 - i], id);
  }
}

}  // namespace
