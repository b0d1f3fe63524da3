window.__diagrams = {
 venn: "venn-beta\n  set A[\"Alpha\"]\n  set B[\"Beta\"]\n  union A,B[\"AB\"]",
 wardley: "wardley-beta\ntitle Tea\nanchor Business [0.95, 0.63]\ncomponent Tea [0.63, 0.81]\ncomponent Kettle [0.43, 0.35]\nBusiness -> Tea\nTea -> Kettle\nevolve Kettle 0.62",
 ishikawa: "ishikawa-beta\n  Slow\n    Code\n      Imports\n    Network\n      Latency",
 treeview: "treeView-beta\n    packages\n        mermaid\n            src\n        parser",
 cynefin: "cynefin-beta\n  title Incident\n  complex\n    \"Investigate\"\n  complicated\n    \"Analyze\"\n  clear\n    \"Restart\"\n  chaotic\n    \"Page\"\n  confusion\n    \"Unknown\"",
 railroad: "railroad-beta\ntitle Expr\nexpression = sequence(nonterminal(\"term\"), zeroOrMore(sequence(choice(terminal(\"+\"), terminal(\"-\")), nonterminal(\"term\")))) ;",
 swimlane: "swimlane-beta TD\n  subgraph a[Owner]\n    A[Start] --> B[Do]\n  end\n  subgraph b[Worker]\n    C[Work]\n  end\n  B --> C",
 eventmodeling: "eventmodeling\n\ntf 01 ui CartScreen\ntf 02 cmd AddItem { description: string }\ntf 03 evt ItemAdded { description: string }",
 flowchart: "flowchart TD\n  A[Start] --> B{Is it?}\n  B -->|Yes| C[OK]\n  B -->|No| D[End]",
 sequence: "sequenceDiagram\n  Alice->>John: Hello John\n  John-->>Alice: Great!",
 class: "classDiagram\n  Animal <|-- Duck\n  Animal : +int age\n  class Duck{\n    +swim()\n  }",
 state: "stateDiagram-v2\n  [*] --> Still\n  Still --> Moving\n  Moving --> [*]",
 er: "erDiagram\n  CUSTOMER ||--o{ ORDER : places\n  ORDER ||--|{ LINE-ITEM : contains",
 gantt: "gantt\n  title A Gantt\n  dateFormat YYYY-MM-DD\n  section S\n  Task a :a1, 2024-01-01, 30d\n  Task b :after a1, 20d",
 pie: "pie title Pets\n  \"Dogs\" : 386\n  \"Cats\" : 85",
 journey: "journey\n  title My day\n  section Go\n    Make tea: 5: Me\n    Work: 1: Me, Cat",
 gitgraph: "gitGraph\n  commit\n  branch develop\n  commit\n  checkout main\n  merge develop",
 mindmap: "mindmap\n  root((mindmap))\n    Origins\n      Long history\n    Research",
 timeline: "timeline\n  title History\n  2002 : LinkedIn\n  2004 : Facebook",
 quadrant: "quadrantChart\n  title Reach\n  x-axis Low --> High\n  y-axis Low --> High\n  quadrant-1 A\n  quadrant-2 B\n  quadrant-3 C\n  quadrant-4 D\n  P: [0.3, 0.6]",
 sankey: "sankey-beta\n\nA,B,10\nA,C,5\n",
 xychart: "xychart-beta\n  title \"Sales\"\n  x-axis [jan, feb, mar]\n  y-axis \"Revenue\" 0 --> 100\n  bar [50, 60, 70]\n  line [50, 60, 70]",
 block: "block-beta\n  columns 3\n  a b c",
 requirement: "requirementDiagram\n  requirement r1 {\n    id: 1\n    text: the test\n    risk: high\n    verifymethod: test\n  }\n  element e1 {\n    type: simulation\n  }\n  e1 - satisfies -> r1",
 c4: "C4Context\n  title System\n  Person(a, \"User\")\n  System(b, \"System\")\n  Rel(a, b, \"Uses\")",
 packet: "packet-beta\n  0-15: \"Source Port\"\n  16-31: \"Destination Port\"",
 architecture: "architecture-beta\n  group api(cloud)[API]\n  service db(database)[Database] in api\n  service server(server)[Server] in api\n  db:L -- R:server",
 kanban: "kanban\n  todo[Todo]\n    a[Write docs]\n  done[Done]\n    b[Ship]",
 radar: "radar-beta\n  axis A, B, C\n  curve c1{1, 2, 3}",
 treemap: "treemap-beta\n\"Root\"\n  \"A\": 10\n  \"B\": 20"
};
// Renders every sample and leaves a name -> "ok" or reason map in window.__results.
window.__runAll = async function () {
  var out = {};
  try { mermaid.initialize({ startOnLoad: false, securityLevel: 'strict', theme: 'default' }); }
  catch (e) { window.__results = { init: 'ERR ' + e }; return; }
  var names = Object.keys(window.__diagrams);
  for (var i = 0; i < names.length; i++) {
    var n = names[i];
    try {
      var ok = await mermaid.parse(window.__diagrams[n], { suppressErrors: true });
      if (ok === false) { try { await mermaid.parse(window.__diagrams[n]); } catch (e2) { out[n] = 'unknown ' + String(e2 && e2.message || e2).slice(0, 200); continue; } }
      var r = await mermaid.render('d' + i, window.__diagrams[n]);
      var svg = r.svg || r;
      out[n] = (svg.indexOf('<svg') >= 0 && svg.indexOf('Syntax error') < 0) ? 'ok' : 'bad svg';
    } catch (e) { out[n] = 'ERR ' + String(e && e.message || e).slice(0, 120); }
  }
  window.__results = out;
};
