#include "rdap/RdapLinks.h"

#include "rdap/RdapSample.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

namespace whois {
namespace {

struct LinkCase : test::NamedCase {
    std::string json;
    std::string link;
};

class RdapRelatedLinkTest : public testing::TestWithParam<LinkCase> {};

TEST_P(RdapRelatedLinkTest, FindsTheRegistrarAnswer)
{
    EXPECT_EQ(RdapRelatedLink(GetParam().json), GetParam().link);
}

INSTANTIATE_TEST_SUITE_P(
    Links, RdapRelatedLinkTest,
    testing::Values(
        LinkCase{{"VerisignPointsAtTheRegistrar"},
                 test::ReadRdapSample("rdap.verisign.com__domain_google.com.json"),
                 "https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM"},
        LinkCase{{"RegistrarAnswerHasOnlySelf"},
                 test::ReadRdapSample("rdap.markmonitor.com__domain_GOOGLE.COM.json"),
                 ""},
        LinkCase{{"ApnicRelatedWebPageIsNotFollowed"},
                 test::ReadRdapSample("rdap.apnic.net__ip_1.1.1.1.json"),
                 ""},
        LinkCase{{"WebPageBeforeTheRdapLink"},
                 R"({"links":[{"rel":"related","type":"text/html","href":"https://a/page"},
                     {"rel":"related","type":"application/rdap+json","href":"https://b/rdap"}]})",
                 "https://b/rdap"},
        LinkCase{{"MissingTypeIsSkipped"},
                 R"({"links":[{"rel":"related","href":"https://a/untyped"},
                     {"rel":"related","type":"application/rdap+json","href":"https://b/rdap"}]})",
                 "https://b/rdap"},
        LinkCase{{"OnlyUntypedLinks"},
                 R"({"links":[{"rel":"related","href":"https://a/untyped"}]})",
                 ""},
        LinkCase{{"RelativeHrefAsSent"},
                 R"({"links":[{"rel":"related","type":"application/rdap+json",
                     "href":"../domain/EXAMPLE.COM"}]})",
                 "../domain/EXAMPLE.COM"},
        LinkCase{{"CaseAndMediaTypeParameters"},
                 R"({"links":[{"rel":"Related",
                     "type":"Application/RDAP+JSON; charset=utf-8","href":"https://b/rdap"}]})",
                 "https://b/rdap"},
        LinkCase{{"SelfIsNotRelated"},
                 R"({"links":[{"rel":"self","type":"application/rdap+json","href":"https://a"}]})",
                 ""},
        LinkCase{{"HrefOfAnotherTypeIsSkipped"},
                 R"({"links":[{"rel":"related","type":"application/rdap+json","href":5},
                     {"rel":"related","type":"application/rdap+json","href":""},
                     {"rel":"related","type":"application/rdap+json","href":"https://c"}]})",
                 "https://c"},
        LinkCase{{"LinksOfOtherTypes"}, R"({"links":{"rel":"related"}})", ""},
        LinkCase{{"LinkEntriesOfOtherTypes"}, R"({"links":[1,"x",null,[]]})", ""},
        LinkCase{{"RelatedLinkInsideAnEntityIsNotTheAnswers"},
                 R"({"entities":[{"links":[{"rel":"related","type":"application/rdap+json",
                     "href":"https://a"}]}]})",
                 ""},
        LinkCase{{"NotJson"}, "<html></html>", ""}, LinkCase{{"Empty"}, "", ""}),
    test::CaseName());

} // namespace
} // namespace whois
