function startClock() {
    var el = document.getElementById("clock");
    function tick() {
        var d = new Date();
        el.innerHTML = d.toLocaleTimeString();
    }
    tick();
    setInterval(tick, 1000);
}

function fillOmi(current) {
    var sel = document.getElementById("omi");
    for (var raw = 0; raw <= 90; raw++) {
        var opt = document.createElement("option");
        opt.value = raw;
        opt.text = ((10 + raw) / 10).toFixed(1) + " %";
        if (raw == current)
            opt.selected = true;
        sel.appendChild(opt);
    }
}

function selectValue(name, value) {
    var sel = document.getElementsByName(name)[0];
    for (var i = 0; i < sel.options.length; i++)
        sel.options[i].selected = sel.options[i].value == value;
}
