// SPDX-License-Identifier: MIT
// Talking to the stand-in's panel as its own page does.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

namespace kova_test {

// The run's token, as the panel's page holds it.
inline std::string panel_token(httplib::Client& client)
{
    auto page = client.Get("/");
    EXPECT_TRUE(page);
    if (!page) return {};
    const std::string marker = "name=\"panel-token\" content=\"";
    const std::size_t at = page->body.find(marker);
    EXPECT_NE(at, std::string::npos);
    return at == std::string::npos ? std::string() : page->body.substr(at + marker.size(), 32);
}

// An action as the page's buttons send it: the status answered, or -1.
inline int panel_action(httplib::Client& client, const std::string& query)
{
    auto answer = client.Post(("/action?" + query).c_str(), {{"X-Panel-Token", panel_token(client)}}, "", "text/plain");
    return answer ? answer->status : -1;
}

} // namespace kova_test
