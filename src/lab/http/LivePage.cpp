#include "lab/http/LivePage.h"

namespace quorvel::lab {
namespace {

// The page's own scripts run again on the new content, each in a function of its own so that
// their top-level names may be declared anew; the Chart.js library stays as it was loaded.
// <html data-updates> counts the swaps.
constexpr const char* kScript = R"(<script id="quorvel-live">
(() => {
  const every = EVERY * 1000;
  let since = new Date();  // of the content shown
  const library = s => s.textContent.slice(0, 200).includes('Chart.js v');
  const note = text => {
    let p = document.getElementById('quorvel-live-note');
    if (!p) {
      p = document.createElement('p');
      p.id = 'quorvel-live-note';
      p.style.cssText = 'background:#fff3c4;border:2px dashed #111;padding:4px 8px';
      document.body.prepend(p);
    }
    p.textContent = text;
  };
  const swap = html => {
    const fresh = new DOMParser().parseFromString(html, 'text/html');
    if (window.Chart && Chart.instances) Object.values(Chart.instances).forEach(c => c.destroy());
    const live = document.getElementById('quorvel-live');
    const nodes = [...fresh.body.childNodes].filter(n => n.nodeName !== 'SCRIPT');
    document.title = fresh.title;
    document.body.replaceChildren(...nodes, live);
    for (const s of fresh.body.querySelectorAll('script'))
      if (s.id !== 'quorvel-live' && !library(s)) new Function(s.textContent)();
    const html5 = document.documentElement;
    html5.dataset.updates = String(Number(html5.dataset.updates || 0) + 1);
    since = new Date();
  };
  // A page that cannot be redrawn is not blamed on the lab, and its error reaches the console.
  const stale = why => note('Not updated since ' + since.toLocaleTimeString() + ': ' + why);
  const poll = () => {
    fetch(location.pathname, {cache: 'no-store'})
      .then(r => r.ok ? r.text() : Promise.reject(new Error('HTTP ' + r.status)))
      .then(swap, e => stale('the lab does not answer (' + e.message + ')'))
      .catch(e => { stale('the page could not be redrawn (' + e.message + ')'); throw e; })
      .finally(() => setTimeout(poll, every));
  };
  setTimeout(poll, every);
})();
</script>
)";

}  // namespace

std::string LivePage(std::string page) {
    std::string script = kScript;
    script.replace(script.find("EVERY"), 5, std::to_string(kLiveEveryS));
    const auto end = page.rfind("</body>");
    page.insert(end == std::string::npos ? page.size() : end, script);
    return page;
}

}  // namespace quorvel::lab
