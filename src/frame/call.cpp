#include "frame/call.h"

#include <new>
#include <string>

#include "frame/operation_binding.h"
#include "frame/trace.h"
#include "platform/com/com.h"
#include "platform/system_platform.h"

namespace kx::frame {
namespace {

String widen(const char* text) { return String(text, text + std::char_traits<char>::length(text)); }

Failure not_built(const catalogue::Class& cls, const catalogue::Member& member)
{
    return Failure(E_NOTIMPL, L"Kestrix." + widen(cls.name) + L"." + widen(member.name) + L" is not implemented");
}

// The member run on a platform of its own, its failure caught.
Outcome run(const catalogue::Class& cls, const catalogue::Member& member, std::span<Value> args)
{
    std::optional<SystemPlatform> system;
    Outcome outcome;
    try {
        const operations::Operation* operation = operations::find(cls.name, member.name);
        if (!operation || !operations::fits(*operation, member))
            throw not_built(cls, member);
        system.emplace();
        outcome.result = operation->run(system->platform(), args);
    } catch (const Failure& failure) {
        outcome.failure = failure;
    } catch (const std::bad_alloc&) {
        outcome.failure = Failure(E_OUTOFMEMORY, L"Out of memory");
    } catch (const std::exception&) {
        outcome.failure = Failure(E_UNEXPECTED, L"Unexpected failure");
    }
    if (system)
        outcome.held_back = system->held_back();
    return outcome;
}

}  // namespace

Outcome execute(const catalogue::Class& cls, const catalogue::Member& member, std::span<Value> args)
{
    if (!trace::enabled())
        return run(cls, member, args);
    const std::vector<Value> before(args.begin(), args.end());
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Outcome outcome = run(cls, member, args);
    QueryPerformanceCounter(&end);
    trace::record(cls, member, before, args, outcome,
                  1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return outcome;
}

HRESULT report(const Failure& failure, const catalogue::Class& cls, REFIID iid)
{
    const HRESULT status = FAILED(failure.status()) ? failure.status() : E_FAIL;
    com::ComPtr<ICreateErrorInfo> created;
    if (SUCCEEDED(CreateErrorInfo(&created))) {
        const String source = L"Kestrix." + widen(cls.name);
        created->SetGUID(iid);
        created->SetSource(const_cast<LPOLESTR>(source.c_str()));
        created->SetDescription(const_cast<LPOLESTR>(failure.description().c_str()));
        com::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(created.As(&info)))
            SetErrorInfo(0, info.Get());
    }
    return status;
}

}  // namespace kx::frame
