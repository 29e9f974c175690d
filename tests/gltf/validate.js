// Runs the Khronos glTF validator on a .glb or .gltf: prints its counts and
// first messages, exits 1 on any error, 2 when it cannot run.
//   node validate.js MODULES_DIR FILE
const path = require('path');
const fs = require('fs');
let validator;
try {
    validator = require(path.resolve(process.argv[2], 'gltf-validator'));
} catch (e) {
    console.error('the gltf-validator module is not installed under ' + process.argv[2]);
    process.exit(2);
}
const file = process.argv[3];
const readBeside = (uri) => new Promise((resolve, reject) => {
    fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, data) => {
        if (err) reject(err.toString());
        else resolve(new Uint8Array(data));
    });
});
validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {uri: file, maxIssues: 50, externalResourceFunction: readBeside})
    .then((report) => {
        const issues = report.issues;
        console.log(`errors ${issues.numErrors} warnings ${issues.numWarnings} infos ${issues.numInfos}`);
        for (const m of issues.messages.slice(0, 10)) console.log(`${m.code} ${m.pointer || ''}: ${m.message}`);
        process.exit(issues.numErrors > 0 ? 1 : 0);
    })
    .catch((e) => {
        console.error('validation failed: ' + e);
        process.exit(2);
    });
