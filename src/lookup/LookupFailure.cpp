#include "lookup/LookupFailure.h"

#include "encoding/DecodeResponse.h"

namespace whois {

FailureReason FailureFromConnect(ConnectFailure failure)
{
    switch (failure) {
    case ConnectFailure::InvalidTarget:
        return FailureReason::InvalidName;
    case ConnectFailure::NameNotFound:
        return FailureReason::NameNotFound;
    case ConnectFailure::NoAddress:
        return FailureReason::NoAddress;
    case ConnectFailure::ResolverFailed:
        return FailureReason::ResolverFailed;
    case ConnectFailure::Refused:
        return FailureReason::Refused;
    case ConnectFailure::Unreachable:
        return FailureReason::Unreachable;
    case ConnectFailure::TimedOut:
        return FailureReason::ConnectTimedOut;
    case ConnectFailure::Reset:
        return FailureReason::ConnectReset;
    }
    return FailureReason::Refused;
}

std::string DescribeFailure(FailureReason reason)
{
    switch (reason) {
    case FailureReason::InvalidName:
        return "服务器名称无效";
    case FailureReason::NameNotFound:
        return "找不到该服务器名称";
    case FailureReason::NoAddress:
        return "服务器名称没有地址";
    case FailureReason::ResolverFailed:
        return "无法解析服务器名称（域名服务器无应答）";
    case FailureReason::Refused:
        return "连接被拒绝";
    case FailureReason::Unreachable:
        return "网络不可达";
    case FailureReason::ConnectTimedOut:
        return "10 秒内未能连接";
    case FailureReason::ConnectReset:
        return "连接被重置";
    case FailureReason::ClosedWithoutAnswer:
        return "服务器未作回答即关闭连接";
    case FailureReason::ResetWithoutAnswer:
        return "连接被重置，服务器未作回答";
    case FailureReason::SilentWithoutAnswer:
        return "服务器没有回答";
    case FailureReason::NoServerNamed:
        return "IANA 未列出可查询的 whois 服务器";
    case FailureReason::ConnectTooSlow:
        return "3 秒内未能连接，改用 RDAP";
    case FailureReason::NoRdapService:
        return "没有为此查询提供服务的 RDAP 服务器";
    case FailureReason::RdapFailed:
        return "RDAP 未给出记录";
    }
    return {};
}

std::string DescribeCutShort(AnswerEnd end)
{
    switch (end) {
    case AnswerEnd::Closed:
        return {};
    case AnswerEnd::Silence:
        return "（服务器 10 秒无新数据，回答可能不完整）";
    case AnswerEnd::SizeCap:
        return "（回答超过 4 MiB，其后部分未显示）";
    case AnswerEnd::Deadline:
        return "（回答超过 60 秒，其后部分未显示）";
    case AnswerEnd::Reset:
        return "（连接被重置，回答可能不完整）";
    }
    return {};
}

Text FailureLines(const std::vector<ServerFailure>& failures, const std::string& more)
{
    Text lines;
    for (const ServerFailure& failure : failures) {
        lines += failure.server + ": " + DecodeResponse(DescribeFailure(failure.reason)) + "\n";
    }
    return lines + DecodeResponse(more);
}

} // namespace whois
