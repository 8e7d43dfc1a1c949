#include "rdap/RdapText.h"

#include "rdap/RdapLinks.h"

#include "rdap/RdapSample.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace whois {
namespace {

using test::ExpectLinesInOrder;
using test::ReadRdapSample;
using test::TextLines;

constexpr std::string_view kUrl = "https://rdap.example/object";

// What every rendered answer is, whatever the answer held: the URL line first, whole LF-ended
// lines, no control byte but LF.
void ExpectWellFormed(const std::string& text, std::string_view url)
{
    EXPECT_TRUE(text.starts_with("% RDAP " + std::string(url) + "\n")) << text;
    EXPECT_TRUE(text.ends_with('\n'));
    EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c != '\n' && (byte < 0x20 || byte == 0x7F);
    }));
}

TEST(RdapTextTest, VerisignDomainGivesTheRecordedText)
{
    const std::string url = "https://rdap.verisign.com/com/v1/domain/google.com";
    const auto text = RdapToText(ReadRdapSample("rdap.verisign.com__domain_google.com.json"), url);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, ReadRdapSample("verisign-google.com.expected.txt"));
}

TEST(RdapTextTest, AnswerReadOnceGivesTheTextAndTheRegistrarLink)
{
    for (const char* file :
         {"rdap.verisign.com__domain_google.com.json", "rdap.apnic.net__ip_1.1.1.1.json",
          "rdap.arin.net__autnum_13335.json"}) {
        const std::string json = ReadRdapSample(file);
        const auto read = ReadRdapAnswer(json, "https://rdap.example/x");
        ASSERT_TRUE(read.has_value()) << file;
        EXPECT_EQ(read->text, RdapToText(json, "https://rdap.example/x")) << file;
        EXPECT_EQ(read->relatedLink, RdapRelatedLink(json)) << file;
    }
    EXPECT_FALSE(ReadRdapAnswer("<html>", "https://rdap.example/x").has_value());
}

struct SampleCase : test::NamedCase {
    const char* file;
    RdapObjectKind kind;
    std::vector<std::string> lines; // each a whole line, in this order
    std::vector<std::string> once;  // whole lines that appear exactly once
};

class RdapSampleTest : public testing::TestWithParam<SampleCase> {};

TEST_P(RdapSampleTest, ShowsTheAnswerAsWhoisLines)
{
    const SampleCase& row = GetParam();
    const std::string json = ReadRdapSample(row.file);
    EXPECT_EQ(RdapObjectKindOf(json), row.kind);
    const auto text = RdapToText(json, kUrl);
    ASSERT_TRUE(text);
    ExpectWellFormed(*text, kUrl);
    ExpectLinesInOrder(*text, row.lines);
    const auto lines = TextLines(*text);
    for (const std::string& line : row.once) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, RdapSampleTest,
    testing::Values(
        SampleCase{{"VerisignDomain"},
                   "rdap.verisign.com__domain_google.com.json",
                   RdapObjectKind::Domain,
                   {"Domain Name: GOOGLE.COM", "Registrar: MarkMonitor Inc.",
                    "Registrar Abuse Contact Email: abusecomplaints@markmonitor.com",
                    "Registrar Abuse Contact Phone: +1.2086851750", "DNSSEC: unsigned"},
                   {}},
        // The registrar names itself by org only, dates "last update", contacts are redacted
        // to a region and a country.
        SampleCase{{"MarkMonitorDomain"},
                   "rdap.markmonitor.com__domain_GOOGLE.COM.json",
                   RdapObjectKind::Domain,
                   {"Domain Name: google.com",
                    "Registry Domain ID: 2138514_DOMAIN_COM-VRSN",
                    "Registrar WHOIS Server: whois.markmonitor.com",
                    "Updated Date: 2019-09-09T15:39:04.000+0000",
                    "Creation Date: 1997-09-15T07:00:00.000+0000",
                    "Registry Expiry Date: 2028-09-13T07:00:00.000+0000",
                    "Registrar: MarkMonitor Inc.",
                    "Registrar IANA ID: 292",
                    "Registrar Abuse Contact Email: abusecomplaints@markmonitor.com",
                    "Registrar Abuse Contact Phone: +1.2086851750",
                    "Domain Status: client update prohibited",
                    "Domain Status: server delete prohibited",
                    "Registrant Organization: Google LLC",
                    "Registrant State/Province: CA",
                    "Registrant Country: US",
                    "Admin State/Province: CA",
                    "Admin Country: US",
                    "Tech Country: US",
                    "Name Server: ns1.google.com",
                    "Name Server: ns4.google.com",
                    "DNSSEC: unsigned",
                    ">>> Last update of RDAP database: 2024-07-29T17:23:48.000+0000 <<<",
                    "",
                    "Terms of Use",
                    "By submitting an RDAP query, you agree that you will use this data only for",
                    "Status Codes"},
                   {"Registrant Country: US"}},
        SampleCase{{"ApnicIpNetwork"},
                   "rdap.apnic.net__ip_1.1.1.1.json",
                   RdapObjectKind::IpNetwork,
                   {"NetRange: 1.1.1.0 - 1.1.1.255",
                    "CIDR: 1.1.1.0/24",
                    "NetName: APNIC-LABS",
                    "NetHandle: 1.1.1.0 - 1.1.1.255",
                    "NetType: ASSIGNED PORTABLE",
                    "Country: AU",
                    "Organization: APNIC Research and Development (ORG-ARAD1-AP)",
                    "Status: active",
                    "RegDate: 2011-08-10T23:12:35Z",
                    "Updated: 2023-04-26T22:57:58Z",
                    "OrgId: ORG-ARAD1-AP",
                    "Address: 6 Cordelia St",
                    "Phone: +61-7-38583100",
                    "Fax: +61-7-38583199",
                    "OrgAbuseHandle: IRT-APNICRANDNET-AU",
                    "OrgAbuseEmail: helpdesk@apnic.net",
                    "OrgTechHandle: AIC3-AP",
                    "OrgTechPhone: +61 7 3858 3100",
                    "OrgAdminHandle: AIC3-AP",
                    "description",
                    "Research prefix for APNIC Labs",
                    "Whois Inaccuracy Reporting",
                    "If you see inaccuracies in the results, please visit:",
                    "https://www.apnic.net/manage-ip/using-whois/abuse-and-spamming/"
                    "invalid-contact-form"},
                   {"OrgAbuseEmail: helpdesk@apnic.net"}},
        // Contacts come both inside the registrant and beside it.
        SampleCase{{"ArinIpv6Network"},
                   "rdap.arin.net__ip_2606_4700_4700__1111.json",
                   RdapObjectKind::IpNetwork,
                   {"NetRange: 2606:4700:: - 2606:4700:ffff:ffff:ffff:ffff:ffff:ffff",
                    "CIDR: 2606:4700::/32", "NetName: CLOUDFLARENET", "NetHandle: NET6-2606-4700-1",
                    "Parent: NET6-2600-1", "NetType: DIRECT ALLOCATION",
                    "Organization: Cloudflare, Inc. (CLOUD14)", "OrgName: Cloudflare, Inc.",
                    "Address: 101 Townsend Street", "Address: United States",
                    "OrgAbuseHandle: ABUSE2916-ARIN", "OrgAbuseEmail: abuse@cloudflare.com",
                    "OrgTechHandle: ADMIN2521-ARIN", "OrgAdminHandle: ADMIN2521-ARIN",
                    "OrgNOCHandle: CLOUD146-ARIN", "OrgNOCHandle: NOC11962-ARIN",
                    "Registration Comments"},
                   {"OrgAbuseHandle: ABUSE2916-ARIN", "OrgTechHandle: ADMIN2521-ARIN"}},
        SampleCase{{"ArinAutnum"},
                   "rdap.arin.net__autnum_13335.json",
                   RdapObjectKind::Autnum,
                   {"ASNumber: 13335", "ASName: CLOUDFLARENET", "ASHandle: AS13335",
                    "Organization: Cloudflare, Inc. (CLOUD14)", "Status: active",
                    "RegDate: 2010-07-14T18:35:57-04:00", "Updated: 2017-02-17T18:04:32-05:00",
                    "OrgAbuseHandle: ABUSE2916-ARIN", "OrgNOCHandle: NOC11962-ARIN",
                    "Copyright Notice"},
                   {"OrgAbuseHandle: ABUSE2916-ARIN"}},
        // Maintainers are registrants too; the organisation is the one of kind org.
        SampleCase{{"RipeAutnum"},
                   "rdap.db.ripe.net__autnum_205697.json",
                   RdapObjectKind::Autnum,
                   {"ASNumber: 205697", "ASName: ALOJALIA", "ASHandle: AS205697",
                    "Organization: ALOJALIA CLOUD S.L. (ORG-IYCS4-RIPE)", "OrgId: ORG-IYCS4-RIPE",
                    "Address: Avd. Federico Anaya, 52 3C", "Address: SPAIN",
                    "OrgAbuseHandle: AR37103-RIPE", "OrgAbuseEmail: abuse@alojalia.com",
                    "OrgTechName: Angel Martinez Sanchez", "OrgAdminName: Alejandro Pina Rodriguez",
                    "Website: alojalia.com", "", "GTT"},
                   {"OrgAbuseEmail: abuse@alojalia.com"}},
        SampleCase{{"RipeErrorObject"},
                   "rdap.db.ripe.net__nameserver_error501.json",
                   RdapObjectKind::Other,
                   {"ErrorCode: 501", "Title: 501 Not Implemented",
                    "Description: Nameserver not supported", "", "Terms and Conditions"},
                   {}},
        SampleCase{{"ApnicErrorObject"},
                   "rdap.apnic.net__entity_AS5496JP.json",
                   RdapObjectKind::Other,
                   {"ErrorCode: 404", "Title: Not Found",
                    "Description: The server has not found anything matching the Request-URI."},
                   {}}),
    test::CaseName());

struct ShapeCase : test::NamedCase {
    std::string json;
    std::vector<std::string> lines;  // each a whole line, in this order
    std::vector<std::string> absent; // texts found nowhere in the output
};

class RdapShapeTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(RdapShapeTest, ShowsWhatHasTheExpectedTypeAndSkipsTheRest)
{
    const ShapeCase& row = GetParam();
    const auto text = RdapToText(row.json, kUrl);
    ASSERT_TRUE(text);
    ExpectWellFormed(*text, kUrl);
    ExpectLinesInOrder(*text, row.lines);
    for (const std::string& absent : row.absent) {
        EXPECT_EQ(text->find(absent), std::string::npos) << absent << " in:\n" << *text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RdapShapeTest,
    testing::Values(
        ShapeCase{{"UnicodeNameDiffers"},
                  R"({"objectClassName":"domain","ldhName":"xn--fsqu00a.xn--0zwm56d",
                      "unicodeName":"例子.测试"})",
                  {"Domain Name: xn--fsqu00a.xn--0zwm56d (例子.测试)"},
                  {}},
        ShapeCase{{"UnicodeNameDiffersOnlyInCase"},
                  R"({"objectClassName":"domain","ldhName":"EXAMPLE.COM",
                      "unicodeName":"example.com"})",
                  {"Domain Name: EXAMPLE.COM"},
                  {"("}},
        ShapeCase{{"OnlyUnicodeName"},
                  R"({"objectClassName":"domain","unicodeName":"例子.测试"})",
                  {"Domain Name: 例子.测试"},
                  {}},
        ShapeCase{{"StructuredAddressAndTelUri"},
                  R"({"objectClassName":"domain","entities":[{"roles":["registrant"],
                      "vcardArray":["vcard",[["version",{},"text","4.0"],
                        ["fn",{},"text","Jane Doe"],["org",{},"text",["Example Ltd","Sales"]],
                        ["adr",{},"text",["PO 1","Suite 2",["1 Main St","Floor 3"],
                          "Springfield","IL","62701","US"]],
                        ["tel",{"type":["voice"]},"uri","tel:+1.5555550100;ext=12"],
                        ["tel",{"type":"fax"},"uri","tel:+1.5555550199"],
                        ["email",{},"text","jane@example.com"]]]}]})",
                  {"Registrant Name: Jane Doe", "Registrant Organization: Example Ltd, Sales",
                   "Registrant Street: PO 1", "Registrant Street: Suite 2",
                   "Registrant Street: 1 Main St", "Registrant Street: Floor 3",
                   "Registrant City: Springfield", "Registrant State/Province: IL",
                   "Registrant Postal Code: 62701", "Registrant Country: US",
                   "Registrant Phone: +1.5555550100 ext. 12", "Registrant Fax: +1.5555550199",
                   "Registrant Email: jane@example.com"},
                  {"tel:"}},
        ShapeCase{{"AddressLabelAndCountryCode"},
                  R"({"objectClassName":"domain","entities":[{"roles":["administrative"],
                      "vcardArray":["vcard",[["adr",{"label":"1 Main St\nSpringfield",
                        "cc":"US"},"text",["","","","","","",""]]]]}]})",
                  {"Admin Address: 1 Main St", "Admin Address: Springfield", "Admin Country: US"},
                  {}},
        ShapeCase{{"ContactsInRoleOrder"},
                  R"({"objectClassName":"domain","entities":[
                      {"roles":["billing"],"vcardArray":["vcard",[["fn",{},"text","B"]]]},
                      {"roles":["technical"],"vcardArray":["vcard",[["fn",{},"text","T"]]]},
                      {"roles":["administrative","technical"],
                       "vcardArray":["vcard",[["fn",{},"text","A"]]]},
                      {"roles":["registrant"],"vcardArray":["vcard",[["fn",{},"text","R"]]]}]})",
                  {"Registrant Name: R", "Admin Name: A", "Tech Name: T", "Tech Name: A",
                   "Billing Name: B"},
                  {}},
        ShapeCase{{"SignedDelegation"},
                  R"({"objectClassName":"domain","ldhName":"example.com",
                      "secureDNS":{"delegationSigned":true}})",
                  {"Domain Name: example.com", "DNSSEC: signedDelegation"},
                  {}},
        ShapeCase{{"LineBreaksInsideValuesStayInsideTheLine"},
                  "{\"objectClassName\":\"domain\",\"ldhName\":"
                  "\"a.example\\r\\nDomain Name: evil.example\\u0000\","
                  "\"status\":[\"active\\nDomain Status: ok\"]}",
                  {"Domain Name: a.example  Domain Name: evil.example",
                   "Domain Status: active Domain Status: ok"},
                  {"\nDomain Name: evil", "\nDomain Status: ok"}},
        ShapeCase{{"NoticeTextSplitIntoLines"},
                  R"({"objectClassName":"domain","notices":[{"title":"T",
                      "description":["first\nsecond\r\nthird",5,"fourth"],
                      "links":[{"href":"https://example.com/tos"},{"href":7}]}]})",
                  {"", "T", "first", "second", "third", "fourth", "https://example.com/tos"},
                  {}},
        ShapeCase{{"WrongTypesEverywhereInADomain"},
                  R"({"objectClassName":"domain","ldhName":5,"handle":[],"port43":{},
                      "status":"active","events":{"eventAction":"registration"},
                      "entities":[1,"x",null,{"roles":"registrar","vcardArray":"vcard"},
                        {"roles":["registrar",3],"vcardArray":["vcard",[["fn",{},"text",7],
                          ["fn"],"tel",["email",[],"text",["a"]],["tel",5,"uri",{}]]],
                         "publicIds":[{"type":"IANA Registrar ID","identifier":{}}],
                         "entities":{"roles":["abuse"]}},
                        {"roles":["registrant"],"vcardArray":["vcard",{"fn":"x"}]},
                        {"roles":["technical"],"vcardArray":["vcard",[["adr",{"label":3},
                          "text",[1,[2],{}]]]]}],
                      "nameservers":[null,{"ldhName":{}},"ns1.example"],
                      "secureDNS":{"delegationSigned":"yes"},
                      "notices":[{"title":1,"description":"text"},7]})",
                  {"% RDAP https://rdap.example/object", ""},
                  {"Domain Name", "Registry", "Registrar", "WHOIS", "Date", "Status", "Registrant",
                   "Tech", "Name Server", "DNSSEC"}},
        ShapeCase{{"WrongTypesEverywhereInANetwork"},
                  R"({"objectClassName":"ip network","startAddress":1,"endAddress":[],
                      "cidr0_cidrs":[5,{"v4prefix":"192.0.2.0","length":"24"},{"length":8}],
                      "name":{},"country":false,"entities":{"roles":["registrant"]},
                      "remarks":"none","events":[1,{"eventAction":5},
                        {"eventAction":"registration","eventDate":20240101}]})",
                  {"CIDR: 192.0.2.0"},
                  {"NetRange", "NetName", "Country", "Organization", "RegDate", "/24"}},
        ShapeCase{{"AutnumRange"},
                  R"({"objectClassName":"autnum","startAutnum":64496,"endAutnum":64511})",
                  {"ASNumber: 64496 - 64511"},
                  {}},
        ShapeCase{{"AutnumNumbersOfOtherTypes"},
                  R"({"objectClassName":"autnum","startAutnum":1.5,"endAutnum":{}})",
                  {},
                  {"ASNumber"}},
        ShapeCase{{"NameserverObject"},
                  R"({"objectClassName":"nameserver","ldhName":"ns1.example.com",
                      "ipAddresses":{"v4":["192.0.2.1"],"v6":["2001:db8::1",4]}})",
                  {"ObjectClass: nameserver", "Name: ns1.example.com", "IPAddress: 192.0.2.1",
                   "IPAddress: 2001:db8::1"},
                  {}}),
    test::CaseName());

struct NotAnObjectCase : test::NamedCase {
    std::string json;
};

class RdapNotAnObjectTest : public testing::TestWithParam<NotAnObjectCase> {};

TEST_P(RdapNotAnObjectTest, GivesNoText)
{
    EXPECT_EQ(RdapToText(GetParam().json, kUrl), std::nullopt);
    EXPECT_EQ(RdapObjectKindOf(GetParam().json), RdapObjectKind::Other);
}

INSTANTIATE_TEST_SUITE_P(
    NotObjects, RdapNotAnObjectTest,
    testing::Values(NotAnObjectCase{{"Empty"}, ""}, NotAnObjectCase{{"Spaces"}, " \r\n"},
                    NotAnObjectCase{{"HtmlPage"}, "<html><body>Not Found</body></html>"},
                    NotAnObjectCase{{"Array"}, R"([{"objectClassName":"domain"}])"},
                    NotAnObjectCase{{"String"}, R"("domain")"}, NotAnObjectCase{{"Null"}, "null"},
                    NotAnObjectCase{{"Number"}, "42"},
                    NotAnObjectCase{{"CutShort"}, R"({"objectClassName":"dom)"},
                    NotAnObjectCase{{"TrailingGarbage"}, R"({"a":1} {"b":2})"},
                    NotAnObjectCase{{"InvalidUtf8"}, "{\"ldhName\":\"\xFF\xFE\"}"},
                    NotAnObjectCase{{"LoneSurrogate"}, R"({"ldhName":"\ud800"})"},
                    NotAnObjectCase{{"NulInside"}, std::string("{\"a\":\0\"b\"}", 10)}),
    test::CaseName());

std::string Repeated(std::string_view piece, std::size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST(RdapTextTest, DeeplyNestedArraysNeitherOverflowNorHideTheRest)
{
    constexpr std::size_t kDepth = 200000;
    const std::string json = R"({"objectClassName":"domain","x":)" + Repeated("[", kDepth) +
                             Repeated("]", kDepth) + R"(,"ldhName":"example.com"})";
    const auto text = RdapToText(json, kUrl);
    ASSERT_TRUE(text);
    ExpectLinesInOrder(*text, {"Domain Name: example.com"});

    EXPECT_EQ(RdapToText(R"({"x":)" + Repeated("[", kDepth), kUrl), std::nullopt);
}

// Entities inside entities, one level each, as deep as an answer cares to go: the text
// follows them down to a fixed depth and no further.
TEST(RdapTextTest, NestedEntitiesAreFollowedToAFixedDepth)
{
    constexpr int kLevels = 2000;
    std::string entities;
    for (int level = kLevels - 1; level >= 0; --level) {
        entities = R"({"handle":"E)" + std::to_string(level) + R"(","roles":["abuse"])" +
                   (entities.empty() ? "" : R"(,"entities":[)" + entities + "]") + "}";
    }
    const std::string json = R"({"objectClassName":"ip network","entities":[)" + entities + "]}";
    const auto text = RdapToText(json, kUrl);
    ASSERT_TRUE(text);
    ExpectLinesInOrder(*text, {"OrgAbuseHandle: E0", "OrgAbuseHandle: E7"});
    EXPECT_EQ(text->find("OrgAbuseHandle: E8\n"), std::string::npos);
}

TEST(RdapTextTest, HugeArraysGiveOneLineEach)
{
    constexpr std::size_t kCount = 100000;
    const std::string json = R"({"objectClassName":"domain","nameservers":[)" +
                             Repeated(R"({"ldhName":"ns.example.com"},)", kCount - 1) +
                             R"({"ldhName":"ns.example.com"}],"status":[)" +
                             Repeated("1,", kCount) + R"("ok"]})";
    const auto text = RdapToText(json, kUrl);
    ASSERT_TRUE(text);
    const auto lines = TextLines(*text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Name Server: ns.example.com"), kCount);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Domain Status: ok"), 1);
}

} // namespace
} // namespace whois
