// Task generation from Windows Installer's data over a scripted installer source of many products
// and components, against one pass of listing the components (what any generation must at least
// do), and against building the component lists product by product (a pass per product).
//   generate_bench.exe [products, default 200] [components, default 60000]
#include "FakeInstaller.h"
#include "KvGenerate.h"

#include <cstdio>
#include <cstdlib>

namespace {

double Now() {
    LARGE_INTEGER c, f;
    ::QueryPerformanceCounter(&c);
    ::QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const unsigned products = argc > 1 ? (unsigned)_wtoi(argv[1]) : 200;
    const unsigned components = argc > 2 ? (unsigned)_wtoi(argv[2]) : 60000;
    kvgen::CFakeInstaller msi;
    std::list<CInstalledProductInfo> list;
    for (unsigned p = 0; p < products; ++p) {
        std::wstring code = kvgen::Guid(0xBE, p);
        msi.AddProduct(code, L"Bench product " + std::to_wstring(p));
        list.emplace_back(code, L"Bench product " + std::to_wstring(p), 1, L"");
    }
    for (unsigned c = 0; c < components; ++c) {
        unsigned p = c % products;
        msi.AddComponent(kvgen::Guid(0xC0, c), kvgen::Guid(0xBE, p),
                         L"C:\\KvGenBench\\Product" + std::to_wstring(p) + L"\\file" + std::to_wstring(c) +
                             (c % 3 ? L".dll" : L".dat"));
    }

    // One pass of listing: every component with its product and path.
    double t0 = Now();
    unsigned listed = 0;
    wchar_t code[40], client[40], path[MAX_PATH];
    for (DWORD i = 0; msi.EnumComponents(i, code) == ERROR_SUCCESS; ++i)
        for (DWORD j = 0; msi.EnumClients(code, j, client) == ERROR_SUCCESS; ++j) {
            DWORD length = MAX_PATH;
            if (msi.GetComponentPath(client, code, path, &length) == INSTALLSTATE_LOCAL)
                ++listed;
        }
    const double pass = Now() - t0;

    // The generation of every product into a model.
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host;
    host.pModel = &model;
    host.bAddDepends = 0;
    host.bShowResults = 0;
    CIChNodeList output;
    t0 = Now();
    GenerateTasksFromMsi(host, &list, 1, 1, 0, &output);
    const double generate = Now() - t0;
    const size_t resources = model.GetNodeList(NodeTypeResource)->size();

    // Component lists product by product: a pass over the components each time (a tenth of the
    // products, scaled up).
    const unsigned sample = products >= 10 ? products / 10 : products;
    t0 = Now();
    unsigned n = 0;
    for (const CInstalledProductInfo& p : list) {
        if (n++ == sample)
            break;
        std::list<SProductComponent> one;
        GetInstalledProductComponentList(p.m_strProductCode, one);
    }
    const double perProduct = (Now() - t0) * products / sample;

    printf("products %u, components %u, listed %u, tasks %u, resources %u\n", products, components, listed,
           (unsigned)output.size(), (unsigned)resources);
    printf("listing pass            %9.3f s\n", pass);
    printf("generation              %9.3f s   (%.1f x the listing pass)\n", generate, pass > 0 ? generate / pass : 0);
    printf("lists product by product %8.3f s   (%.1f x the listing pass, estimated from %u products)\n", perProduct,
           pass > 0 ? perProduct / pass : 0, sample);
    return output.size() == products ? 0 : 1;
}
