#include "RecalcProgress.h"

#include "tables/Products.h"
#include "tables/Receivers.h"

#include <algorithm>

namespace {

int Percent(int done, int count)
{
    if (count <= 0)
        return 0;
    // A progress bar ignores values outside its range.
    return std::clamp(int(double(done) / double(count) * 100.0), 0, 100);
}

} // namespace

RecalcProgressHolder& GetRecalcProgressHolder()
{
    static RecalcProgressHolder holder;
    return holder;
}

void CRecalcProgressState::BeginOuter(int count)
{
    outerCount = count;
    outerDone = 0;
    innerDone = 0;
}

void CRecalcProgressState::StepOuter(const CReceiverRecord* receiver)
{
    ++outerDone;
    bar = Percent(outerDone, outerCount);
    if (receiver)
        receiverText = receiver->name;
}

void CRecalcProgressState::BeginInner(int count)
{
    innerCount = count;
    innerDone = 0;
}

void CRecalcProgressState::StepInner(const CProductRecord* product)
{
    ++innerDone;
    bar = Percent(innerDone, innerCount);
    if (product)
        productText = product->name;
}

void CRecalcProgressState::ShowInner(const CProductRecord* product)
{
    if (product)
        productText = product->name;
}
